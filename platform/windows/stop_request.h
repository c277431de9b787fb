#pragma once

namespace kelvoran {

// Asks the headless loop to close, as Ctrl+C does: WaitForServiceRequest
// returns ServiceRequest::Stop. Safe from any thread.
void RequestStop();

}  // namespace kelvoran
