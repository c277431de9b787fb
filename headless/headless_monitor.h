#pragma once

#include <cstdio>

namespace kelvoran {

// `kelvoran --headless`: the monitor of the window without a window, its log
// written to `log`. Runs until the system asks it to stop (see
// service_console.h), and returns the program's exit status.
int RunHeadless(std::FILE* log);

}  // namespace kelvoran
