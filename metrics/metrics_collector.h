#pragma once

#include <cstdint>
#include <unordered_map>

#include "engine/calendar_time.h"
#include "engine/result_sink.h"
#include "metrics/metrics_snapshot.h"

namespace kelvoran {

class HostRows;

// Counts what the tick applies, per host, on the monitor's thread: a few
// additions per result, nothing that waits. Capture copies the counts and
// the records' own figures into a snapshot for the server's thread.
class MetricsCollector final : public ResultSink {
 public:
  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override {}

  // The figures of every row, in row order. A host seen for the first time
  // counts from here; one gone from the rows is forgotten.
  MetricsSnapshot Capture(HostRows& rows, std::int32_t probesInFlight, CalendarTime now);

 private:
  struct Counts {
    HostFigures figures;
    bool seen = false;
  };
  void ForgetHostsNotSeen();

  std::unordered_map<std::int32_t, Counts> counts_;
};

}  // namespace kelvoran
