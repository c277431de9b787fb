#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "history/round_trip_histogram.h"
#include "route/route_trace.h"

namespace kelvoran {

// Milliseconds since 1970-01-01 00:00 UTC.
using HistoryTime = std::int64_t;

// One probe result of a host, as recorded.
struct HistorySample {
  HistoryTime time = 0;
  std::int32_t code = 0;        // the probe's result code, 0 for success
  std::uint32_t roundTrip = 0;  // milliseconds; 0 for a failure
  std::int32_t status = 0;      // the host's status after the result
  bool operator==(const HistorySample&) const = default;
};

// How old the rows of each kind may grow before the retention pass drops
// them: results, changes of status (and the alert log with them), and the
// 5-minute and hourly summaries.
struct RetentionCutoffs {
  HistoryTime samples = 0;
  HistoryTime changes = 0;
  HistoryTime fiveMinuteSummaries = 0;
  HistoryTime hourlySummaries = 0;
  bool operator==(const RetentionCutoffs&) const = default;
};

// A host's results over one span of time (5 minutes or an hour, starting at
// a multiple of it since 1970): how many, how many failed, the round trips
// of those answered, and how long the host spent in each status.
struct HistorySummary {
  static constexpr HistoryTime kFiveMinutes = 5 * 60 * 1000;
  static constexpr HistoryTime kHour = 60 * 60 * 1000;
  HistoryTime start = 0;
  HistoryTime span = 0;
  std::int64_t probes = 0;
  std::int64_t failures = 0;
  // Of the answered probes; min and max are 0 when none was answered.
  std::int64_t minRoundTrip = 0;
  std::int64_t maxRoundTrip = 0;
  std::int64_t sumRoundTrip = 0;
  RoundTripHistogram roundTrips;
  // Milliseconds in OK, WARNING and ERROR (indexed by status). A result's
  // status holds from its time until the host's next result, counted in the
  // span of each of the two and in no span between them (the program may not
  // have been running then); the last result's time is counted once the next
  // one comes.
  std::array<std::int64_t, 3> msInStatus{};
  bool operator==(const HistorySummary&) const = default;
};

// A host's move from one status to another, with the text of the result that
// caused it.
struct HistoryChange {
  HistoryTime time = 0;
  std::string host;  // the name it was last recorded under
  std::int32_t before = 0;
  std::int32_t after = 0;
  std::string text;
  bool operator==(const HistoryChange&) const = default;
};

// Which alert attempts the alert log shows: all, those about one host, or
// those about one outage of it (the outage's start, in seconds).
struct AlertLogFilter {
  const std::string* host = nullptr;
  std::optional<std::int64_t> outageStart;
  // Those about the outages that began in [first, second], in seconds.
  std::optional<std::pair<std::int64_t, std::int64_t>> outageStarts;
};

// What one tick hands to the writer, in order: a rename or a host whose
// history is to be forgotten first (made by a command between ticks), then
// the tick's results and changes.
struct HistoryBatch {
  struct Result {
    std::string host;
    HistorySample sample;
  };
  struct Rename {
    std::string from;
    std::string to;
  };
  std::optional<Rename> rename;
  std::optional<std::string> forget;
  std::vector<Result> results;
  std::vector<HistoryChange> changes;
  // before and after are QualityFlags.
  std::vector<HistoryChange> qualityChanges;
  // The paths recorded since the last tick.
  std::vector<RouteTrace> routes;
  bool empty() const {
    return !rename && !forget && results.empty() && changes.empty() && qualityChanges.empty() &&
           routes.empty();
  }
};

}  // namespace kelvoran
