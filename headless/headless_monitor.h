#pragma once

namespace kelvoran {

// `kelvoran --headless`: the monitor of the window without a window. Runs
// until the system asks it to stop (see service_console.h), and returns the
// program's exit status.
int RunHeadless();

}  // namespace kelvoran
