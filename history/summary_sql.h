#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// How a summary added to one already there for the same host, span and
// start is merged into it.
inline constexpr std::string_view kMergeSummary =
    " ON CONFLICT(host, span, start) DO UPDATE SET"
    " probes = probes + excluded.probes, failures = failures + excluded.failures,"
    " rtt_min = coalesce(min(rtt_min, excluded.rtt_min), rtt_min, excluded.rtt_min),"
    " rtt_max = coalesce(max(rtt_max, excluded.rtt_max), rtt_max, excluded.rtt_max),"
    " rtt_sum = rtt_sum + excluded.rtt_sum,"
    " histogram = merge_histograms(histogram, excluded.histogram),"
    " ok_ms = ok_ms + excluded.ok_ms, warning_ms = warning_ms + excluded.warning_ms,"
    " error_ms = error_ms + excluded.error_ms";

inline std::string MergingInto(std::string_view insert) {
  return std::string(insert).append(kMergeSummary);
}

}  // namespace kelvoran
