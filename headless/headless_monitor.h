#pragma once

#include <optional>
#include <string>

#include "metrics/listen_address.h"
#include "metrics/metrics_access.h"

namespace kelvoran {

class LogFile;

// Where and how the headless monitor serves metrics for Prometheus.
struct HeadlessMetrics {
  std::optional<ListenAddress> address;
  MetricsAccess access;
  // Logged at the start: e.g. a password hash file that others may read.
  std::string warning;
};

// `kelvoran --headless`: the monitor of the window without a window, its log
// written to `log`. Runs until the system asks it to stop (see
// service_console.h), and returns the program's exit status. With a metrics
// address, serves metrics for Prometheus there; an address that cannot be
// listened on, or access that cannot be had, is logged and monitoring goes on.
int RunHeadless(LogFile& log, const HeadlessMetrics& metrics = {});

}  // namespace kelvoran
