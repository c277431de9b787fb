#pragma once

#include <string>
#include <string_view>

#include "metrics/metrics_snapshot.h"

namespace kelvoran {

// Prometheus' text format 0.0.4, or OpenMetrics 1.0.0 for a scraper that
// asks for it: the same samples, with OpenMetrics' family names (a counter's
// without _total), its info type and its closing "# EOF".
enum class ExpositionFormat { Text, OpenMetrics };

// The Content-Type of ExpositionText's answer in `format`.
const char* ContentTypeOf(ExpositionFormat format);

// The format an HTTP Accept header prefers: OpenMetrics 1.0.0 when it is
// named (without a version or with 1.0.0) with a quality above zero and no
// lower than the text format's; the text format for anything else,
// including no header.
ExpositionFormat NegotiatedFormat(std::string_view accept);

// The snapshot in `format`: each family with its HELP and TYPE lines, then
// one sample per host (labels host and description) and the program-wide
// ones.
std::string ExpositionText(const MetricsSnapshot& snapshot, std::string_view version,
                           ExpositionFormat format = ExpositionFormat::Text);

// A label value as the format wants it between its double quotes: valid
// UTF-8 (other bytes read as the platform reads the host list), with
// backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text);

}  // namespace kelvoran
