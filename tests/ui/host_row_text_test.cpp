#include "ui/host_row_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/host_record.h"

namespace kelvoran {
namespace {

HostRecord WithResults(std::uint32_t sent, std::uint32_t received) {
  HostRecord host;
  host.SentCount = sent;
  host.ReceivedCount = received;
  host.FailedCount = sent - received;
  return host;
}

TEST(RowCells, NewHostShowsDashesAndZeroSent) {
  HostRecord host;
  host.Description = "Router";
  const auto cells = RowCellTexts(host);
  EXPECT_EQ(cells[ColumnDescription], "Router");
  EXPECT_EQ(cells[ColumnDelay], "-");
  EXPECT_EQ(cells[ColumnSent], "0");
  EXPECT_EQ(cells[ColumnPercentOk], "-");
  EXPECT_EQ(cells[ColumnMinResponse], "-");
  EXPECT_EQ(cells[ColumnAvgResponse], "-");
  EXPECT_EQ(cells[ColumnMaxResponse], "-");
  EXPECT_EQ(cells[ColumnError], "");
}

TEST(RowCells, ZeroMillisecondsReadsLessThanTen) {
  HostRecord host = WithResults(1, 1);
  host.LastDelay = 0;
  host.MinResponse = host.AvgResponse = host.MaxResponse = 0;
  const auto cells = RowCellTexts(host);
  EXPECT_EQ(cells[ColumnDelay], "< 10");
  EXPECT_EQ(cells[ColumnPercentOk], "100.00");
  EXPECT_EQ(cells[ColumnMinResponse], "< 10");
  EXPECT_EQ(cells[ColumnAvgResponse], "< 10");
  EXPECT_EQ(cells[ColumnMaxResponse], "< 10");
}

TEST(RowCells, SuccessRatesAreFormattedWithTwoDecimalsPadded) {
  EXPECT_EQ(SuccessRateText(WithResults(3, 2)), "66.67");
  EXPECT_EQ(SuccessRateText(WithResults(2, 0)), " 0.00");
  EXPECT_EQ(SuccessRateText(WithResults(3, 1)), "33.33");
  EXPECT_EQ(SuccessRateText(WithResults(2, 1)), "50.00");
  EXPECT_EQ(SuccessRateText(WithResults(0xFFFFFFFFu, 0xFFFFFFFFu)), "100.00");
}

TEST(RowCells, FailureAfterSuccessKeepsResponseTimes) {
  HostRecord host = WithResults(2, 1);
  host.LastDelay = -1;
  host.MinResponse = host.AvgResponse = host.MaxResponse = 25;
  host.ResultCode = 610;
  const auto cells = RowCellTexts(host);
  EXPECT_EQ(cells[ColumnDelay], "-");
  EXPECT_EQ(cells[ColumnMinResponse], "25");
  EXPECT_EQ(cells[ColumnError], "Request timed out.");
}

TEST(SortKey, HostStartsDescendingOtherColumnsAscendingAndTheyAlternate) {
  std::int32_t key = 0;
  key = NextSortKey(key, 0);
  EXPECT_EQ(key, 65536) << "the first click on Host sorts Z to A";
  key = NextSortKey(key, 0);
  EXPECT_EQ(key, 0);
  key = NextSortKey(key, 3);
  EXPECT_EQ(key, 3);
  key = NextSortKey(key, 3);
  EXPECT_EQ(key, 3 + 65536);
  key = NextSortKey(key, 3);
  EXPECT_EQ(key, 3);
  EXPECT_EQ(NextSortKey(3 + 65536, 5), 5) << "a new column always starts ascending";
  EXPECT_EQ(NextSortKey(4, 9), 0) << "columns outside 1 to 8 sort by Host";
  EXPECT_EQ(NextSortKey(0, -1), 65536);
}

std::vector<std::string> SortedHosts(std::vector<HostRecord>& hosts, std::int32_t key) {
  std::stable_sort(hosts.begin(), hosts.end(), [key](const HostRecord& a, const HostRecord& b) {
    return CompareRows(a, b, key) < 0;
  });
  std::vector<std::string> names;
  for (const HostRecord& h : hosts) names.push_back(h.Host);
  return names;
}

TEST(CompareRows, HostNamesIgnoreCaseAndDescendingReverses) {
  std::vector<HostRecord> hosts(3);
  hosts[0].Host = "beta";
  hosts[1].Host = "Alpha";
  hosts[2].Host = "GAMMA";
  EXPECT_EQ(SortedHosts(hosts, 0), (std::vector<std::string>{"Alpha", "beta", "GAMMA"}));
  EXPECT_EQ(SortedHosts(hosts, 65536), (std::vector<std::string>{"GAMMA", "beta", "Alpha"}));
  EXPECT_GT(CompareHostNames("A", "["), 0) << "letters fold to lower case before bytes compare";
  EXPECT_LT(CompareHostNames("abc", "\xe9"), 0) << "bytes compare unsigned";
}

TEST(CompareRows, UnprobedHostsComeFirstByRateAndHostsWithoutRepliesLastByMinimum) {
  std::vector<HostRecord> hosts(3);
  hosts[0] = WithResults(4, 3);
  hosts[0].Host = "three-quarters";
  hosts[0].MinResponse = 20;
  hosts[1].Host = "unprobed";
  hosts[2] = WithResults(2, 2);
  hosts[2].Host = "all";
  hosts[2].MinResponse = 5;
  EXPECT_EQ(SortedHosts(hosts, 4), (std::vector<std::string>{"unprobed", "three-quarters", "all"}));
  EXPECT_EQ(SortedHosts(hosts, 5), (std::vector<std::string>{"all", "three-quarters", "unprobed"}));
}

TEST(CompareRows, FailedDelayGoesAboveZeroAndErrorsSortByCodeThenValue) {
  std::vector<HostRecord> hosts(4);
  hosts[0].Host = "zero";
  hosts[0].LastDelay = 0;
  hosts[1].Host = "failed";
  hosts[1].LastDelay = -1;
  EXPECT_LT(CompareRows(hosts[1], hosts[0], 2), 0);

  hosts[0].ResultCode = 13000;
  hosts[0].ResultValue = 5;
  hosts[1].ResultCode = 610;
  hosts[2].Host = "popup-1";
  hosts[2].ResultCode = 13000;
  hosts[2].ResultValue = -1;
  hosts[3].Host = "ok";
  EXPECT_EQ(SortedHosts(hosts, 8), (std::vector<std::string>{"ok", "failed", "popup-1", "zero"}));
}

TEST(DialogResults, NeverAnsweredHostAndOddStatus) {
  HostRecord host = WithResults(3, 0);
  host.LastDelay = -1;
  host.Status = 7;
  const ResultsTexts texts = DialogResultsTexts(host);
  EXPECT_EQ(texts.status, "?");
  EXPECT_EQ(texts.currentResponse, "-");
  EXPECT_EQ(texts.minResponse, "-");
  EXPECT_EQ(texts.sent, "3");
  EXPECT_EQ(texts.failed, "3");
  EXPECT_EQ(texts.successRate, " 0.00");
  EXPECT_EQ(DialogResultsTexts(HostRecord()).successRate, "-");
}

TEST(DialogResults, AnsweredThenFailedKeepsStatistics) {
  HostRecord host = WithResults(2, 1);
  host.Status = StatusOk;
  host.LastDelay = -1;
  host.MinResponse = host.AvgResponse = host.MaxResponse = 0;
  const ResultsTexts texts = DialogResultsTexts(host);
  EXPECT_EQ(texts.status, "OK");
  EXPECT_EQ(texts.currentResponse, "-");
  EXPECT_EQ(texts.minResponse, "< 10");
  EXPECT_EQ(texts.received, "1");
  EXPECT_EQ(texts.successRate, "50.00");
}

}  // namespace
}  // namespace kelvoran
