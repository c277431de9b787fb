#include <gtest/gtest.h>

#include <sstream>

#include "engine/host_record.h"
#include "history/csv_export.h"
#include "history/range_summary.h"

namespace kelvoran {
namespace {

constexpr HistoryTime kFive = HistorySummary::kFiveMinutes;

HistorySummary Summary(HistoryTime start, std::int64_t failures,
                       std::initializer_list<std::uint32_t> roundTrips) {
  HistorySummary s;
  s.start = start;
  s.span = kFive;
  s.probes = static_cast<std::int64_t>(roundTrips.size()) + failures;
  s.failures = failures;
  for (const std::uint32_t rtt : roundTrips) {
    s.minRoundTrip = s.roundTrips.Count() ? std::min<std::int64_t>(s.minRoundTrip, rtt) : rtt;
    s.maxRoundTrip = std::max<std::int64_t>(s.maxRoundTrip, rtt);
    s.sumRoundTrip += rtt;
    s.roundTrips.Add(rtt);
  }
  return s;
}

// Three summaries over four columns of 5 minutes each: the third column has
// none (the program was not running), the changes put the host in ERROR
// during the second.
TEST(SummaryViews, ColumnsFiguresAndCsvFromSummaries) {
  const std::vector<HistorySummary> summaries = {Summary(0, 0, {10, 20}), Summary(kFive, 2, {30}),
                                                 Summary(3 * kFive, 0, {5})};
  const std::vector<HistoryChange> changes = {{-1, "h", StatusWarning, StatusOk, ""},
                                              {kFive + 60'000, "h", StatusOk, StatusError, "x"},
                                              {kFive + 120'000, "h", StatusError, StatusOk, ""}};
  const std::vector<PlotColumn> columns = PlotSummaryColumns(summaries, changes, 0, 4 * kFive, 4);
  ASSERT_EQ(columns.size(), 4u);
  const std::vector<std::int32_t> bands = {columns[0].band, columns[1].band, columns[2].band,
                                           columns[3].band};
  EXPECT_EQ(bands, (std::vector<std::int32_t>{StatusOk, StatusError, -1, StatusOk}));
  EXPECT_EQ(std::tie(columns[0].samples, columns[0].minRoundTrip, columns[0].maxRoundTrip),
            std::tuple(2u, 10u, 20u));
  EXPECT_EQ(std::tie(columns[1].samples, columns[1].failures), std::tuple(3u, 2u));

  const RangeSummary figures = SummariseSummaries(summaries);
  EXPECT_EQ(std::tie(figures.probes, figures.failed), std::tuple(6, 2));
  EXPECT_DOUBLE_EQ(figures.averageRoundTrip, 65.0 / 4);
  EXPECT_EQ(figures.minRoundTrip, 5u);
  EXPECT_EQ(figures.maxRoundTrip, 30u);
  EXPECT_EQ(figures.percentile95, 30u);  // never past the highest seen

  std::ostringstream csv;
  WriteSummariesCsv(csv, "h", {summaries.data(), 2},
                    [](HistoryTime t) { return std::to_string(t); });
  EXPECT_NE(csv.str().find("5 minutes from,Host,Probes,Failed,"), std::string::npos);
  EXPECT_NE(csv.str().find("\r\n300000,h,3,2,30,30,30,"), std::string::npos) << csv.str();
}

}  // namespace
}  // namespace kelvoran
