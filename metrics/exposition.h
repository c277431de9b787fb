#pragma once

#include <string>
#include <string_view>

#include "metrics/metrics_snapshot.h"

namespace kelvoran {

// The Content-Type of ExpositionText's answer.
inline constexpr const char* kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

// The snapshot in Prometheus' text exposition format 0.0.4: each family
// with its HELP and TYPE lines, then one sample per host (labels host and
// description) and the program-wide ones.
std::string ExpositionText(const MetricsSnapshot& snapshot, std::string_view version);

// A label value as the format wants it between its double quotes: valid
// UTF-8 (other bytes read as the platform reads the host list), with
// backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text);

}  // namespace kelvoran
