#include "history/range_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>

#include "engine/host_record.h"
#include "history/change_pages.h"

namespace kelvoran {
namespace {

HistorySample Answered(HistoryTime time, std::uint32_t roundTrip, std::int32_t status = StatusOk) {
  return {time, 0, roundTrip, status};
}
HistorySample Failed(HistoryTime time, std::int32_t status = StatusWarning) {
  return {time, 11010, 0, status};
}
HistoryChange Change(HistoryTime time, std::string host, std::int32_t before, std::int32_t after,
                     std::string text = {}) {
  return {time, std::move(host), before, after, std::move(text)};
}

TEST(RangeSummary, CountsLossAndRoundTripsOfAnsweredProbesOnly) {
  std::vector<HistorySample> samples;
  for (std::uint32_t rtt = 20; rtt >= 1; --rtt) samples.push_back(Answered(rtt, rtt));
  samples.push_back(Failed(30));
  samples.push_back(Failed(31));
  const RangeSummary summary = SummariseRange(samples);
  // The 95th percentile is the nearest rank of 20 answers: the 19th smallest.
  EXPECT_EQ(std::tuple(summary.probes, summary.failed, summary.minRoundTrip, summary.maxRoundTrip,
                       summary.percentile95),
            std::tuple(22, 2, 1u, 20u, 19u));
  EXPECT_NEAR(summary.lossPercent, 100.0 * 2 / 22, 1e-9);
  EXPECT_DOUBLE_EQ(summary.averageRoundTrip, 10.5);

  // Round trips too long for counting per value are ranked all the same.
  samples[0].roundTrip = 4'000'000'000;
  EXPECT_EQ(SummariseRange(samples).percentile95, 19u);
  samples[1].roundTrip = 4'000'000'001;
  EXPECT_EQ(SummariseRange(samples).percentile95, 4'000'000'000u);

  const RangeSummary allLost = SummariseRange(std::vector{Failed(1)});
  EXPECT_EQ(allLost.lossPercent, 100.0);
  EXPECT_FALSE(allLost.minRoundTrip || allLost.percentile95);
  EXPECT_EQ(SummariseRange({}).probes, 0);
}

using Outage = std::tuple<std::string, std::optional<HistoryTime>, std::optional<HistoryTime>,
                          std::string, bool>;
std::vector<Outage> Rows(const std::vector<RecordedOutage>& outages) {
  std::vector<Outage> rows;
  for (const RecordedOutage& o : outages)
    rows.emplace_back(o.host, o.start, o.end, o.text, o.interrupted);
  return rows;
}

TEST(RangeSummary, OutagesRunFromErrorUntilOkAgainPerHostAndOverlapTheRange) {
  const std::vector<HistoryChange> changes = {
      Change(500, "b", StatusError, StatusWarning),  // began before anything known
      Change(600, "b", StatusWarning, StatusOk),
      Change(100, "a", StatusWarning, StatusError, "Request timed out."),
      Change(300, "a", StatusError, StatusOk),
      Change(200, "b", StatusWarning, StatusOk),  // no outage
      Change(900, "a", StatusWarning, StatusError, "Destination host unreachable."),
      Change(40, "c", StatusWarning, StatusError),
      Change(60, "c", StatusError, StatusWarning),
      Change(70, "c", StatusWarning, StatusOk),  // over before the range
      // The program stopped in ERROR: the next run starts from WARNING.
      Change(700, "c", StatusWarning, StatusError),
      Change(800, "c", StatusWarning, StatusOk),
      // Back into ERROR before it was OK: one outage.
      Change(400, "d", StatusWarning, StatusError, "Request timed out."),
      Change(450, "d", StatusError, StatusWarning),
      Change(470, "d", StatusWarning, StatusError, "Destination host unreachable."),
      Change(520, "d", StatusError, StatusOk),
  };
  EXPECT_EQ(Rows(OutagesIn(changes, 250, 1000)),
            (std::vector<Outage>{{"a", 900, std::nullopt, "Destination host unreachable.", false},
                                 {"c", 700, 800, "", true},
                                 {"d", 400, 520, "Request timed out.", false},
                                 {"a", 100, 300, "Request timed out.", false},
                                 {"b", std::nullopt, 600, "", false}}));
  // The end at 300 and the start at 900 are out.
  EXPECT_EQ(Rows(OutagesIn(changes, 300, 500)),
            (std::vector<Outage>{{"d", 400, 520, "Request timed out.", false},
                                 {"b", std::nullopt, 600, "", false}}));
}

// A range that ends inside an outage over since then shows when it ended.
TEST(RangeSummary, HostOutagesAreReadUpToNow) {
  const std::vector<HistoryChange> recorded = {Change(300, "a", StatusOk, StatusError),
                                               Change(400, "a", StatusError, StatusOk),
                                               Change(350, "b", StatusOk, StatusError)};
  bool readable = true;
  const HistoryQueries queries{{},
                               [&](HistoryTime from, HistoryTime to,
                                   const std::string* host) -> HistoryAnswer<HistoryChange> {
                                 if (!readable) return std::nullopt;
                                 std::vector<HistoryChange> found;
                                 for (const HistoryChange& c : recorded)
                                   if (c.time >= from && c.time < to && c.host == *host)
                                     found.push_back(c);
                                 return found;
                               },
                               [] { return HistoryTime{1000}; }};
  const HistoryAnswer<RecordedOutage> outages = HostOutages(queries, "a", 100, 350);
  ASSERT_TRUE(outages);
  EXPECT_EQ(Rows(*outages), (std::vector<Outage>{{"a", 300, 400, "", false}}));
  readable = false;
  EXPECT_FALSE(HostOutages(queries, "a", 100, 350));
}

TEST(RangeSummary, PlotColumnsHoldTheirSlicesExtremesFailuresAndWorstStatus) {
  const std::vector<HistorySample> samples = {
      Answered(99, 1),  // before the range
      Answered(100, 7),
      Failed(101, StatusError),
      Answered(124, 3),            // column 0
      Answered(125, 9),            // column 1
      Failed(199, StatusWarning),  // column 3
      Answered(200, 1),            // at the end: out
  };
  const std::vector<PlotColumn> columns = PlotColumns(samples, 100, 200, 4);
  // samples, failures, min and max round trip, worst status, band (the
  // status holds until the next result).
  std::vector<std::array<std::int64_t, 6>> rows;
  for (const PlotColumn& c : columns)
    rows.push_back({c.samples, c.failures, c.minRoundTrip, c.maxRoundTrip, c.worstStatus, c.band});
  EXPECT_EQ(rows, (decltype(rows){{3, 1, 3, 7, StatusError, StatusError},
                                  {1, 0, 9, 9, StatusOk, StatusOk},
                                  {0, 0, 0, 0, -1, StatusOk},
                                  {1, 1, 0, 0, StatusWarning, StatusWarning}}));
  EXPECT_FALSE(columns[3].HasRoundTrip());
  EXPECT_TRUE(PlotColumns(samples, 200, 100, 4).empty());
}

// A status holds from one result to the next, and for a while after the
// last, unless the program was not running: then the graph shows a gap.
TEST(RangeSummary, StatusBandsLeaveOutWhereTheProgramWasNotRunning) {
  constexpr HistoryTime kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute;
  const struct {
    const char* what;
    HistoryTime pace, pause;
    bool gap;
  } cases[] = {
      {"a pause among results every second", kSecond, 5 * kMinute, true},
      {"the same host stopped for a minute", kSecond, kMinute, false},
      {"a failing probe's time-out after answers every second", kSecond, 11 * kSecond, false},
      {"a host probed once an hour", kHour, kHour, false},
      {"a host probed once an hour stopped for a day", kHour, 24 * kHour, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Three results at the pace, the pause, two more at the pace; the range
    // ends a pause after the last.
    const HistoryTime resumed = 2 * c.pace + c.pause, last = resumed + c.pace;
    const std::vector<HistorySample> samples = {Answered(0, 1), Answered(c.pace, 1),
                                                Answered(2 * c.pace, 1), Answered(resumed, 1),
                                                Answered(last, 1)};
    const HistoryTime to = last + c.pause;
    const std::vector<PlotColumn> columns = PlotColumns(samples, 0, to, 1000);
    const auto bandAt = [&](HistoryTime time) {
      return columns[static_cast<std::size_t>(time * 1000 / to)].band;
    };
    const std::int32_t expected = c.gap ? -1 : StatusOk;
    EXPECT_EQ(bandAt(2 * c.pace + c.pause / 2), expected) << "during the pause";
    EXPECT_EQ(bandAt(last + c.pause / 2), expected) << "after the last result";
  }
}

// The outage log's pages, over changes read as the store gives them (newest
// first, the later written first within a millisecond): pages end between
// milliseconds, also where more changes share one than a page holds, and
// together give the log the whole range gives, durations and all.
TEST(ChangePages, PagesEndBetweenMillisecondsAndAddUpToTheWholeRange) {
  std::vector<HistoryChange> stored;  // newest first
  for (int i = 5'000; i-- > 0;)
    stored.push_back({1'000'000 + i / 3, "h" + std::to_string(i % 4), i % 3, (i + 1) % 3, ""});
  // 1,500 in one millisecond, more than the first page.
  stored.insert(stored.begin() + 700, 1'500, {1'000'000 + 5'000 / 3 - 233, "h9", 0, 2, ""});
  std::stable_sort(stored.begin(), stored.end(),
                   [](const HistoryChange& a, const HistoryChange& b) { return a.time > b.time; });
  const auto within = [&](HistoryTime from, HistoryTime to, const std::string* host) {
    std::vector<HistoryChange> found;
    for (const HistoryChange& c : stored)
      if (c.time >= from && c.time < to && (!host || c.host == *host)) found.push_back(c);
    return found;
  };
  HistoryQueries queries;
  queries.newestChanges = [&](HistoryTime from, HistoryTime to, const std::string* host,
                              std::int64_t limit) -> HistoryAnswer<HistoryChange> {
    std::vector<HistoryChange> found = within(from, to, host);
    if (limit >= 0 && found.size() > static_cast<std::size_t>(limit))
      found.resize(static_cast<std::size_t>(limit));
    return found;
  };
  queries.changeCount = [&](HistoryTime from, HistoryTime to, const std::string* host) {
    return std::optional<std::int64_t>(within(from, to, host).size());
  };
  for (const std::optional<std::string>& host : {std::optional<std::string>(), {"h9"}, {"h1"}}) {
    const std::vector<HistoryChange> range = within(1'000'100, 1'001'600, host ? &*host : nullptr);
    ChangePages pages(queries, 1'000'100, 1'001'600, host);
    std::size_t pagesRead = 0;
    pages.onPage = [&](HistoryTime, HistoryTime) { ++pagesRead; };
    EXPECT_EQ(pages.Count(), range.size());
    ASSERT_NE(pages.Row(0), nullptr);
    EXPECT_EQ(pages.Row(range.size()), nullptr);
    const std::vector<LoggedChange> expected = ChangeLog(range);
    ASSERT_EQ(pages.All().size(), expected.size()) << host.value_or("all");
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(pages.All()[i].change, expected[i].change) << i;
      EXPECT_EQ(pages.All()[i].lasted, expected[i].lasted) << i;
    }
    EXPECT_GE(pagesRead, 1u);
  }
  // A history that cannot be read shows nothing, and says so.
  queries.newestChanges = [](auto&&...) { return std::nullopt; };
  ChangePages unread(queries, 0, INT64_MAX, std::nullopt);
  EXPECT_EQ(unread.Row(0), nullptr);
  EXPECT_TRUE(unread.Unread());
}

// Flags hold from a change to the next; the first change's "before" holds
// before it; raised spans are clipped to the range and joined.
TEST(QualitySpans, RaisedSpansOfTheRange) {
  const auto change = [](HistoryTime time, std::int32_t before, std::int32_t after) {
    return HistoryChange{time, "gw", before, after, ""};
  };
  struct Case {
    const char* what;
    std::vector<HistoryChange> changes;
    std::vector<TimeSpan> spans;
  };
  const Case cases[] = {
      {"none", {}, {}},
      {"raised within", {change(20, 0, 1), change(40, 1, 0)}, {{20, 40}}},
      {"raised before the range, ended in it", {change(50, 1, 0)}, {{0, 50}}},
      {"still raised at the end", {change(90, 0, 4)}, {{90, 100}}},
      {"a second rule joins, then both end",
       {change(10, 0, 1), change(30, 1, 3), change(60, 3, 0)},
       {{10, 60}}},
      {"a change before the range", {change(-50, 0, 2), change(200, 2, 0)}, {{0, 100}}},
  };
  for (const Case& c : cases) EXPECT_EQ(QualitySpans(c.changes, 0, 100), c.spans) << c.what;
}

// The outage log's "Quality" column: the flags in force at a change of status.
TEST(QualitySpans, FlagsInForceAtAMoment) {
  const std::vector<HistoryChange> changes = {{20, "gw", 0, 1, ""}, {40, "gw", 1, 3, ""}};
  const std::pair<HistoryTime, std::int32_t> moments[] = {
      {10, 0}, {20, 1}, {39, 1}, {40, 3}, {99, 3}};
  for (const auto& [time, flags] : moments) EXPECT_EQ(QualityFlagsAt(changes, time), flags) << time;
  EXPECT_EQ(QualityFlagsAt(std::vector{HistoryChange{50, "gw", 4, 0, ""}}, 10), 4)
      << "raised before the first change read";
  EXPECT_EQ(QualityFlagsAt({}, 10), 0);
}

}  // namespace
}  // namespace kelvoran
