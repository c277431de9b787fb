#include "history/range_summary.h"

#include <gtest/gtest.h>

#include "engine/host_record.h"

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
  EXPECT_EQ(summary.probes, 22);
  EXPECT_EQ(summary.failed, 2);
  EXPECT_NEAR(summary.lossPercent, 100.0 * 2 / 22, 1e-9);
  EXPECT_EQ(summary.minRoundTrip, 1u);
  EXPECT_EQ(summary.maxRoundTrip, 20u);
  EXPECT_DOUBLE_EQ(summary.averageRoundTrip, 10.5);
  // Nearest rank of 20 answers: the 19th smallest.
  EXPECT_EQ(summary.percentile95, 19u);

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

TEST(RangeSummary, OutagesRunFromErrorToLeavingItPerHostAndOverlapTheRange) {
  const std::vector<HistoryChange> changes = {
      Change(500, "b", StatusError, StatusWarning),  // began before anything known
      Change(100, "a", StatusWarning, StatusError, "Request timed out."),
      Change(300, "a", StatusError, StatusOk),
      Change(200, "b", StatusWarning, StatusOk),  // no outage
      Change(900, "a", StatusWarning, StatusError, "Destination host unreachable."),
      Change(40, "c", StatusWarning, StatusError),
      Change(60, "c", StatusError, StatusWarning),  // over before the range
      // The program stopped in ERROR: the next run starts from WARNING.
      Change(700, "c", StatusWarning, StatusError),
      Change(800, "c", StatusWarning, StatusOk),
  };
  const std::vector<RecordedOutage> outages = OutagesIn(changes, 250, 1000);
  ASSERT_EQ(outages.size(), 4u);
  EXPECT_EQ(outages[1].host, "c");
  EXPECT_TRUE(outages[1].interrupted);
  EXPECT_EQ(outages[1].end, 800);
  EXPECT_FALSE(outages[0].interrupted);
  EXPECT_EQ(outages[0].host, "a");
  EXPECT_EQ(outages[0].start, 900);
  EXPECT_FALSE(outages[0].end);
  EXPECT_EQ(outages[0].text, "Destination host unreachable.");
  EXPECT_EQ(outages[2].start, 100);
  EXPECT_EQ(outages[2].end, 300);
  EXPECT_EQ(outages[2].text, "Request timed out.");
  EXPECT_EQ(outages[3].host, "b");
  EXPECT_FALSE(outages[3].start);
  EXPECT_EQ(outages[3].end, 500);
  EXPECT_EQ(OutagesIn(changes, 300, 500).size(),
            1u);  // the end at 300 and the start at 900 are out
}

TEST(RangeSummary, ChangeLogIsNewestFirstWithHowLongEachStateLasted) {
  const std::vector<LoggedChange> log =
      ChangeLog({Change(10, "a", StatusWarning, StatusOk), Change(70, "a", StatusOk, StatusError),
                 Change(30, "b", StatusWarning, StatusError)});
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].change.time, 70);
  EXPECT_FALSE(log[0].lasted);
  EXPECT_EQ(log[1].change.host, "b");
  EXPECT_FALSE(log[1].lasted);
  EXPECT_EQ(log[2].lasted, 60);
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
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[0].samples, 3u);
  EXPECT_EQ(columns[0].failures, 1u);
  EXPECT_EQ(columns[0].minRoundTrip, 3u);
  EXPECT_EQ(columns[0].maxRoundTrip, 7u);
  EXPECT_EQ(columns[0].worstStatus, StatusError);
  EXPECT_EQ(columns[1].minRoundTrip, 9u);
  EXPECT_EQ(columns[2].worstStatus, -1);
  EXPECT_EQ(columns[2].band, StatusOk) << "the status holds until the next result";
  EXPECT_FALSE(columns[3].HasRoundTrip());
  EXPECT_EQ(columns[3].worstStatus, StatusWarning);
  EXPECT_TRUE(PlotColumns(samples, 200, 100, 4).empty());
  // Results further apart than the program can have been running hold nothing
  // between them; the last holds for as long after it.
  const std::vector<PlotColumn> gap =
      PlotColumns(std::vector{Answered(0, 1), Failed(kBandGap + 1)}, 0, 4 * kBandGap, 8);
  EXPECT_EQ(gap[1].band, -1);
  EXPECT_EQ(gap[3].band, StatusWarning);
  EXPECT_EQ(gap[5].band, -1);
}

}  // namespace
}  // namespace kelvoran
