#pragma once

#include <cstdio>
#include <optional>

#include "metrics/listen_address.h"

namespace kelvoran {

// `kelvoran --headless`: the monitor of the window without a window, its log
// written to `log`. Runs until the system asks it to stop (see
// service_console.h), and returns the program's exit status. With `metrics`,
// serves metrics for Prometheus there; an address that cannot be listened on
// is logged and monitoring goes on.
int RunHeadless(std::FILE* log, const std::optional<ListenAddress>& metrics = std::nullopt);

}  // namespace kelvoran
