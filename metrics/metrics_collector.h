#pragma once

#include <array>
#include <cstdint>
#include <vector>

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
  // What the results add up to, kept for every host of a long list for as
  // long as the program runs: 32-bit counters, since a host is probed at
  // most once a tick, once a second (136 years to wrap). HostFigures, with
  // its texts and 64-bit fields, is made only for a snapshot.
  struct Counts {
    std::int32_t hostId = 0;
    bool seen = false;
    CalendarTime lastChange = 0;
    std::uint64_t roundTripMillisecondsTotal = 0;
    std::uint32_t sent = 0;
    std::uint32_t replies = 0;
    std::array<std::uint32_t, kFailureKinds> failures{};
    std::array<std::uint32_t, kRoundTripBuckets.size()> roundTrips{};
  };
  Counts& CountsOf(std::int32_t hostId);
  static void CopyCounts(const Counts& counts, HostFigures& figures);
  void ForgetHostsNotSeen();

  // In host id order: ids are handed out rising, so a new host goes at the
  // end, and a lookup is a binary search in one block with no per-host
  // allocation.
  std::vector<Counts> counts_;
};

}  // namespace kelvoran
