#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "history/history_queries.h"
#include "history/history_types.h"

namespace kelvoran {

// What a range of one host's results comes to, as the history window shows
// it. Round trips are those of answered probes only.
struct RangeSummary {
  std::int64_t probes = 0;
  std::int64_t failed = 0;
  double lossPercent = 0;
  std::optional<std::uint32_t> minRoundTrip, maxRoundTrip, percentile95;
  double averageRoundTrip = 0;
  // Of a range drawn from summaries: how long the host was in ERROR.
  std::optional<HistoryTime> msInError;
};
RangeSummary SummariseRange(std::span<const HistorySample> samples);
// The same from summaries, for ranges too long to read result by result:
// the 95th percentile from their merged round-trip histograms.
RangeSummary SummariseSummaries(std::span<const HistorySummary> summaries);

// An outage: from the change into ERROR until the host is OK again, the
// moments its popup message and its "OK again" message go out. A return to
// ERROR from WARNING before OK is the same outage. A start before the first
// change known, or an end not yet come, is missing.
struct RecordedOutage {
  std::string host;
  std::optional<HistoryTime> start, end;
  std::string text;  // what the change into ERROR was caused by
  // The program stopped during it: the next change the host made (from the
  // WARNING every host starts in) is `end`, but when it was over is not
  // known.
  bool interrupted = false;
};
// The outages among `changes` (of any hosts, in any order) that overlap
// [from, to), the latest start first and those whose start is unknown last.
std::vector<RecordedOutage> OutagesIn(std::vector<HistoryChange> changes, HistoryTime from,
                                      HistoryTime to);
// The host's outages that overlap [from, to), with the changes read up to
// now, so that one that ended after `to` has its end; nothing when the
// history could not be read. Changes are read kOutageLookBack before `from`,
// so that one that began before the range has its start.
inline constexpr HistoryTime kOutageLookBack = 365LL * 24 * 3600 * 1000;
HistoryAnswer<RecordedOutage> HostOutages(const HistoryQueries& queries, const std::string& host,
                                          HistoryTime from, HistoryTime to);

// A change of status and how long the host then stayed in it: missing while
// it still is.
struct LoggedChange {
  HistoryChange change;
  std::optional<HistoryTime> lasted;
};
// `changes` of any hosts, in any order, newest first with their durations.
std::vector<LoggedChange> ChangeLog(std::vector<HistoryChange> changes);
// The same a part at a time: each part's changes newest first, and older than
// every change of the parts before.
class ChangeLogBuilder {
 public:
  void Append(std::vector<HistoryChange> newestFirst, std::vector<LoggedChange>& log);

 private:
  std::unordered_map<std::string, HistoryTime> later_;  // host -> the time of its later change
};

// "OK", "WARNING" or "ERROR".
std::string StatusName(std::int32_t status);

// One pixel column of the latency graph: the results whose times fall in it.
struct PlotColumn {
  std::uint32_t samples = 0, failures = 0;
  std::uint32_t minRoundTrip = 0, maxRoundTrip = 0;  // of answered probes only
  std::int32_t worstStatus = -1;                     // -1: no result here
  // The status drawn behind: the worst here, or the one a result left in
  // force until the next (-1: none known).
  std::int32_t band = -1;
  bool HasRoundTrip() const { return samples > failures; }
};
// `samples` oldest first: the graph of [from, to) reduced to `width`
// columns, so that drawing costs the same for a day as for a month. A status
// holds from a result to the next, unless they are further apart than a few
// of the host's own intervals and more than kMinHold: then the program was
// not running, and the span between is left without a status.
inline constexpr HistoryTime kMinHold = 2 * 60 * 1000;
std::vector<PlotColumn> PlotColumns(std::span<const HistorySample> samples, HistoryTime from,
                                    HistoryTime to, int width);
// The same from summaries, oldest first. They hold no status: a column's is
// the worst the host's changes (oldest first) put in force during it, and a
// column no summary falls in (the program was not running) has none.
std::vector<PlotColumn> PlotSummaryColumns(std::span<const HistorySummary> summaries,
                                           std::span<const HistoryChange> changes, HistoryTime from,
                                           HistoryTime to, int width);

// The parts of [from, to) in which some quality alert was raised, from the
// host's quality changes (oldest first; before and after are QualityFlags):
// each change's flags hold until the next, the last one's until `to`, and
// the first one's `before` flags before it.
struct TimeSpan {
  HistoryTime from = 0, to = 0;
  bool operator==(const TimeSpan&) const = default;
};
std::vector<TimeSpan> QualitySpans(std::span<const HistoryChange> changes, HistoryTime from,
                                   HistoryTime to);
// The QualityFlags in force at `time` by the host's quality changes (oldest
// first): the last one's at or before it, or the first later one's
// `before`; 0 without any.
std::int32_t QualityFlagsAt(std::span<const HistoryChange> changes, HistoryTime time);

}  // namespace kelvoran
