#pragma once

namespace kelvoran {

// Whether the program runs under Wine, whose system libraries declare some
// entry points that are only stubs: calling one ends the process.
bool RunningUnderWine();

}  // namespace kelvoran
