#include "history/range_summary.h"

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_map>

#include "engine/host_record.h"
#include "history/round_trip_histogram.h"

namespace kelvoran {
namespace {

// Nearest rank: the smallest value with at least 95 % of values at or below
// it. Round trips are whole milliseconds, so with a month of results a count
// per value finds it in one pass, where sorting took a tenth of a second.
// A round trip beyond any time-out (a damaged file) would make the counts
// huge: such ranges are sorted instead.
std::uint32_t SortedRank(std::span<const HistorySample> samples, std::size_t rank) {
  std::vector<std::uint32_t> roundTrips;
  for (const HistorySample& sample : samples)
    if (sample.code == 0) roundTrips.push_back(sample.roundTrip);
  const auto nth = roundTrips.begin() + static_cast<std::ptrdiff_t>(rank - 1);
  std::nth_element(roundTrips.begin(), nth, roundTrips.end());
  return *nth;
}

std::uint32_t NearestRank95(std::span<const HistorySample> samples, std::size_t answered,
                            std::uint32_t highest) {
  constexpr std::uint32_t kCountedUpTo = 1u << 20;
  const std::size_t rank = (answered * 95 + 99) / 100;
  if (highest > kCountedUpTo) return SortedRank(samples, rank);
  std::vector<std::size_t> counts(std::size_t{highest} + 1);
  for (const HistorySample& sample : samples)
    if (sample.code == 0) ++counts[sample.roundTrip];
  std::size_t seen = 0;
  for (std::uint32_t value = 0;; ++value)
    if ((seen += counts[value]) >= rank) return value;
}

bool Overlaps(const RecordedOutage& outage, HistoryTime from, HistoryTime to) {
  return (!outage.start || *outage.start < to) && (!outage.end || *outage.end > from);
}

bool LaterStartFirst(const RecordedOutage& a, const RecordedOutage& b) {
  if (a.start && b.start) return *a.start > *b.start;
  return a.start.has_value() && !b.start.has_value();
}

// The time from sample i - 1 to sample i, where both exist.
std::optional<HistoryTime> IntervalBefore(std::span<const HistorySample> samples, std::size_t i) {
  if (i == 0 || i >= samples.size()) return std::nullopt;
  return samples[i].time - samples[i - 1].time;
}

// How long sample i's status may hold before the next result: a few of the
// host's own intervals around it (its Delay, or a failing probe's time-out),
// and never less than kMinHold. A longer wait was the program not running.
HistoryTime HoldLimit(std::span<const HistorySample> samples, std::size_t i) {
  constexpr HistoryTime kPaces = 3;
  const std::optional<HistoryTime> before = IntervalBefore(samples, i),
                                   after = IntervalBefore(samples, i + 2);
  if (!before && !after) return kMinHold;
  const HistoryTime pace = std::min(before.value_or(*after), after.value_or(*before));
  return std::max(kMinHold, kPaces * pace);
}

// Up to when sample i's status is drawn: the next result, or nothing after a
// pause; the last result known holds as long as it may.
HistoryTime HeldUntil(std::span<const HistorySample> samples, std::size_t i) {
  const HistoryTime limit = HoldLimit(samples, i);
  if (i + 1 == samples.size()) return samples[i].time + limit;
  const HistoryTime next = samples[i + 1].time;
  return next - samples[i].time <= limit ? next : samples[i].time;
}

}  // namespace

RangeSummary SummariseRange(std::span<const HistorySample> samples) {
  RangeSummary summary;
  summary.probes = static_cast<std::int64_t>(samples.size());
  std::uint32_t lowest = std::numeric_limits<std::uint32_t>::max(), highest = 0;
  std::uint64_t total = 0;
  for (const HistorySample& sample : samples) {
    if (sample.code != 0) {
      ++summary.failed;
      continue;
    }
    lowest = std::min(lowest, sample.roundTrip);
    highest = std::max(highest, sample.roundTrip);
    total += sample.roundTrip;
  }
  if (summary.probes > 0)
    summary.lossPercent =
        100.0 * static_cast<double>(summary.failed) / static_cast<double>(summary.probes);
  const auto answered = static_cast<std::size_t>(summary.probes - summary.failed);
  if (answered == 0) return summary;
  summary.minRoundTrip = lowest;
  summary.maxRoundTrip = highest;
  summary.averageRoundTrip = static_cast<double>(total) / static_cast<double>(answered);
  summary.percentile95 = NearestRank95(samples, answered, highest);
  return summary;
}

std::vector<RecordedOutage> OutagesIn(std::vector<HistoryChange> changes, HistoryTime from,
                                      HistoryTime to) {
  std::stable_sort(changes.begin(), changes.end(),
                   [](const HistoryChange& a, const HistoryChange& b) { return a.time < b.time; });
  std::vector<RecordedOutage> outages;
  // Host -> its outage not over yet, and the status the host is in.
  std::map<std::string, std::pair<std::size_t, std::int32_t>> open;
  for (HistoryChange& change : changes) {
    auto it = open.find(change.host);
    // Every run starts in WARNING: a change from another status than the
    // last one recorded means the program stopped in between.
    if (it != open.end() && change.before != it->second.second) {
      outages[it->second.first].end = change.time;
      outages[it->second.first].interrupted = true;
      it = open.erase(it);
    }
    if (it != open.end() && change.after == StatusOk) {
      outages[it->second.first].end = change.time;
      open.erase(it);
    } else if (it != open.end()) {
      it->second.second = change.after;  // back into ERROR is the same outage
    } else if (change.after == StatusError || change.before == StatusError) {
      // Out of ERROR with no start known: it began before the records.
      const bool started = change.after == StatusError;
      outages.push_back({change.host, std::nullopt, std::nullopt,
                         started ? std::move(change.text) : std::string(), false});
      if (started) outages.back().start = change.time;
      if (change.after == StatusOk)
        outages.back().end = change.time;
      else
        open[change.host] = {outages.size() - 1, change.after};
    }
  }
  std::erase_if(outages, [&](const RecordedOutage& outage) { return !Overlaps(outage, from, to); });
  std::stable_sort(outages.begin(), outages.end(), LaterStartFirst);
  return outages;
}

HistoryAnswer<RecordedOutage> HostOutages(const HistoryQueries& queries, const std::string& host,
                                          HistoryTime from, HistoryTime to) {
  const HistoryAnswer<HistoryChange> changes =
      queries.changes(from - kOutageLookBack, std::max(to, queries.now() + 1), &host);
  if (!changes) return std::nullopt;
  return OutagesIn(*changes, from, to);
}

std::vector<LoggedChange> ChangeLog(std::vector<HistoryChange> changes) {
  std::stable_sort(changes.begin(), changes.end(),
                   [](const HistoryChange& a, const HistoryChange& b) { return a.time > b.time; });
  std::vector<LoggedChange> log;
  ChangeLogBuilder().Append(std::move(changes), log);
  return log;
}

void ChangeLogBuilder::Append(std::vector<HistoryChange> newestFirst,
                              std::vector<LoggedChange>& log) {
  log.reserve(log.size() + newestFirst.size());
  for (HistoryChange& change : newestFirst) {
    const auto later = later_.find(change.host);
    std::optional<HistoryTime> lasted;
    if (later != later_.end()) lasted = later->second - change.time;
    later_[change.host] = change.time;
    log.push_back({std::move(change), lasted});
  }
}

std::string StatusName(std::int32_t status) {
  switch (status) {
    case StatusOk:
      return "OK";
    case StatusWarning:
      return "WARNING";
    default:
      return "ERROR";
  }
}

std::vector<PlotColumn> PlotColumns(std::span<const HistorySample> samples, HistoryTime from,
                                    HistoryTime to, int width) {
  if (width <= 0 || to <= from) return {};
  std::vector<PlotColumn> columns(static_cast<std::size_t>(width));
  const auto byTime = [](const HistorySample& sample, HistoryTime time) {
    return sample.time < time;
  };
  auto i = static_cast<std::size_t>(std::lower_bound(samples.begin(), samples.end(), from, byTime) -
                                    samples.begin());
  // In floating point: (time - from) * width could leave 64 bits for a range
  // as wide as a hand-edited file's times may make it.
  const double perMs = width / (static_cast<double>(to) - static_cast<double>(from));
  const auto xAt = [&](HistoryTime time, int last) {
    const double x = (static_cast<double>(time) - static_cast<double>(from)) * perMs;
    return static_cast<std::ptrdiff_t>(std::clamp(x, -1.0, static_cast<double>(last)));
  };
  // The columns after sample `held`'s own, up to its hold, take its status;
  // the result before the range holds at its start.
  const auto hold = [&](std::size_t held) {
    const HistoryTime until = std::min(to, HeldUntil(samples, held));
    for (auto x = xAt(samples[held].time, width - 1) + 1; x < xAt(until, width); ++x)
      columns[static_cast<std::size_t>(x)].band = samples[held].status;
  };
  for (; i < samples.size() && samples[i].time < to; ++i) {
    if (i > 0) hold(i - 1);
    PlotColumn& column = columns[static_cast<std::size_t>(xAt(samples[i].time, width - 1))];
    const HistorySample& sample = samples[i];
    if (sample.code != 0) {
      ++column.failures;
    } else if (!column.HasRoundTrip()) {
      column.minRoundTrip = column.maxRoundTrip = sample.roundTrip;
    } else {
      column.minRoundTrip = std::min(column.minRoundTrip, sample.roundTrip);
      column.maxRoundTrip = std::max(column.maxRoundTrip, sample.roundTrip);
    }
    ++column.samples;
    column.worstStatus = std::max(column.worstStatus, sample.status);
    column.band = column.worstStatus;
  }
  if (i > 0) hold(i - 1);
  return columns;
}

}  // namespace kelvoran

namespace kelvoran {
namespace {

// Where times fall among `width` columns over [from, to). In floating point:
// (time - from) * width could leave 64 bits for a range as wide as a
// hand-edited file's times may make it.
struct ColumnScale {
  HistoryTime from;
  double perMs;
  ColumnScale(HistoryTime first, HistoryTime end, int width)
      : from(first), perMs(width / (static_cast<double>(end) - static_cast<double>(first))) {}
  std::size_t At(HistoryTime time, int last) const {
    const double x = (static_cast<double>(time) - static_cast<double>(from)) * perMs;
    return static_cast<std::size_t>(std::clamp(x, 0.0, static_cast<double>(last)));
  }
  HistoryTime Start(std::size_t column) const {
    return from + static_cast<HistoryTime>(static_cast<double>(column) / perMs);
  }
};

void AddSummary(PlotColumn& column, const HistorySummary& summary) {
  if (summary.probes > summary.failures) {
    const auto low = static_cast<std::uint32_t>(summary.minRoundTrip);
    const auto high = static_cast<std::uint32_t>(summary.maxRoundTrip);
    column.minRoundTrip = column.HasRoundTrip() ? std::min(column.minRoundTrip, low) : low;
    column.maxRoundTrip = column.HasRoundTrip() ? std::max(column.maxRoundTrip, high) : high;
  }
  column.samples += static_cast<std::uint32_t>(summary.probes);
  column.failures += static_cast<std::uint32_t>(summary.failures);
}

}  // namespace

RangeSummary SummariseSummaries(std::span<const HistorySummary> summaries) {
  RangeSummary range;
  RoundTripHistogram roundTrips;
  std::int64_t sum = 0;
  // Summaries written before the time in each status was kept hold none
  // (nor does the newest, until its host's next result): such a range's
  // time in ERROR is not known, and is not shown as none.
  bool statusTimesKnown = true;
  for (const HistorySummary& s : summaries) {
    range.probes += s.probes;
    range.failed += s.failures;
    sum += s.sumRoundTrip;
    range.msInError = range.msInError.value_or(0) + s.msInStatus[StatusError];
    if (s.probes > 0 && &s != &summaries.back() && s.msInStatus == std::array<std::int64_t, 3>{})
      statusTimesKnown = false;
    roundTrips.Merge(s.roundTrips);
    if (s.probes == s.failures) continue;
    const auto low = static_cast<std::uint32_t>(s.minRoundTrip);
    const auto high = static_cast<std::uint32_t>(s.maxRoundTrip);
    range.minRoundTrip = std::min(range.minRoundTrip.value_or(low), low);
    range.maxRoundTrip = std::max(range.maxRoundTrip.value_or(high), high);
  }
  if (!statusTimesKnown) range.msInError.reset();
  if (range.probes == 0) return range;
  const std::int64_t answered = range.probes - range.failed;
  range.lossPercent = 100.0 * static_cast<double>(range.failed) / static_cast<double>(range.probes);
  if (answered == 0) return range;
  range.averageRoundTrip = static_cast<double>(sum) / static_cast<double>(answered);
  // Interpolated inside a bucket, it may fall outside what was seen.
  if (const std::optional<double> p95 = Percentile(roundTrips, 0.95))
    range.percentile95 = std::max(
        range.minRoundTrip.value_or(0),
        std::min(static_cast<std::uint32_t>(*p95 + 0.5), range.maxRoundTrip.value_or(UINT32_MAX)));
  return range;
}

std::vector<PlotColumn> PlotSummaryColumns(std::span<const HistorySummary> summaries,
                                           std::span<const HistoryChange> changes, HistoryTime from,
                                           HistoryTime to, int width) {
  if (width <= 0 || to <= from) return {};
  std::vector<PlotColumn> columns(static_cast<std::size_t>(width));
  const ColumnScale scale(from, to, width);
  for (const HistorySummary& summary : summaries)
    if (summary.start + summary.span > from && summary.start < to)
      AddSummary(columns[scale.At(std::max(summary.start, from), width - 1)], summary);
  // Before the first change, the status it left.
  std::int32_t status = changes.empty() ? -1 : changes.front().before;
  std::size_t next = 0;
  for (std::size_t x = 0; x < columns.size(); ++x) {
    for (; next < changes.size() && changes[next].time < scale.Start(x); ++next)
      status = changes[next].after;
    std::int32_t worst = status;
    for (std::size_t c = next; c < changes.size() && changes[c].time < scale.Start(x + 1); ++c)
      worst = std::max(worst, changes[c].after);
    if (columns[x].samples == 0) continue;
    columns[x].worstStatus = columns[x].band = worst;
  }
  return columns;
}

std::vector<TimeSpan> QualitySpans(std::span<const HistoryChange> changes, HistoryTime from,
                                   HistoryTime to) {
  std::vector<TimeSpan> spans;
  const auto raised = [&](HistoryTime start, HistoryTime end, std::int32_t flags) {
    start = std::max(start, from);
    end = std::min(end, to);
    if (flags == 0 || start >= end) return;
    if (!spans.empty() && spans.back().to == start)
      spans.back().to = end;
    else
      spans.push_back({start, end});
  };
  if (changes.empty()) return spans;
  raised(from, changes.front().time, changes.front().before);
  for (std::size_t i = 0; i < changes.size(); ++i)
    raised(changes[i].time, i + 1 < changes.size() ? changes[i + 1].time : to, changes[i].after);
  return spans;
}

std::int32_t QualityFlagsAt(std::span<const HistoryChange> changes, HistoryTime time) {
  const auto later =
      std::upper_bound(changes.begin(), changes.end(), time,
                       [](HistoryTime t, const HistoryChange& change) { return t < change.time; });
  if (later != changes.begin()) return std::prev(later)->after;
  return later == changes.end() ? 0 : later->before;
}

}  // namespace kelvoran
