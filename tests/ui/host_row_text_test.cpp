#include "ui/host_row_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "engine/host_record.h"

namespace kelvoran {
namespace {

using Texts = std::vector<std::string>;

// A host with the given counts; a negative `delay` means the last probe failed
// and `response`, when given, goes into minimum, average and maximum.
HostRecord Host(const char* name, std::uint32_t sent, std::uint32_t received, int delay = 0,
                std::uint32_t response = NoMinResponse) {
  HostRecord host;
  host.Host = name;
  host.SentCount = sent;
  host.ReceivedCount = received;
  host.FailedCount = sent - received;
  host.LastDelay = delay;
  if (response != NoMinResponse) host.MinResponse = host.AvgResponse = host.MaxResponse = response;
  return host;
}

// The cells themselves are checked through the real view in the window tests.
TEST(RowCells, SuccessRateHasTwoDecimalsPaddedAndSurvivesFullCounters) {
  const std::pair<HostRecord, const char*> rates[] = {
      {Host("", 3, 2), "66.67"},
      {Host("", 2, 0), " 0.00"},
      {Host("", 3, 1), "33.33"},
      {Host("", 0xFFFFFFFFu, 0xFFFFFFFFu), "100.00"}};
  for (const auto& [host, text] : rates) EXPECT_EQ(SuccessRateText(host), text);
}

TEST(SortKey, HostStartsDescendingOtherColumnsAscendingAndTheyAlternate) {
  const struct {
    std::int32_t last;
    int column;
    std::int32_t next;
  } clicks[] = {{0, 0, 65536},     {65536, 0, 0},     {0, 3, 3},
                {3, 3, 3 + 65536}, {3 + 65536, 3, 3}, {3 + 65536, 5, 5},
                {4, 9, 0},         {0, -1, 65536},    {0, 8, 8}};
  for (const auto& c : clicks)
    EXPECT_EQ(NextSortKey(c.last, c.column), c.next) << c.last << " then column " << c.column;
}

Texts Sorted(std::vector<HostRecord> hosts, std::int32_t key) {
  std::stable_sort(hosts.begin(), hosts.end(), [key](const HostRecord& a, const HostRecord& b) {
    return CompareRows(a, b, key) < 0;
  });
  Texts names;
  for (const HostRecord& h : hosts) names.push_back(h.Host);
  return names;
}

TEST(CompareRows, EachColumnsOrder) {
  const std::vector<HostRecord> names = {Host("beta", 0, 0), Host("Alpha", 0, 0),
                                         Host("GAMMA", 0, 0)};
  EXPECT_EQ(Sorted(names, 0), (Texts{"Alpha", "beta", "GAMMA"}));
  EXPECT_EQ(Sorted(names, 65536), (Texts{"GAMMA", "beta", "Alpha"}));
  EXPECT_GT(CompareHostNames("A", "["), 0) << "letters fold to lower case before bytes compare";
  EXPECT_LT(CompareHostNames("abc", "\xe9"), 0) << "bytes compare unsigned";

  const std::vector<HostRecord> rates = {Host("three-quarters", 4, 3, 20, 20),
                                         Host("unprobed", 0, 0), Host("all", 2, 2, 5, 5)};
  EXPECT_EQ(Sorted(rates, 4), (Texts{"unprobed", "three-quarters", "all"}));
  EXPECT_EQ(Sorted(rates, 5), (Texts{"all", "three-quarters", "unprobed"}));
  EXPECT_LT(CompareRows(Host("failed", 1, 0, -1), Host("zero", 1, 1, 0), 2), 0);
  HostRecord spread = Host("spread", 2, 2, 5, 1);
  spread.MaxResponse = 50;
  EXPECT_GT(CompareRows(spread, Host("steady", 2, 2, 5, 10), 7), 0) << "by the maximum";

  std::vector<HostRecord> errors;
  for (const auto& [name, code, value] :
       {std::tuple("zero", 13000, 5), {"failed", 610, 0}, {"popup-1", 13000, -1}, {"ok", 0, 0}}) {
    errors.push_back(Host(name, 0, 0));
    std::tie(errors.back().ResultCode, errors.back().ResultValue) = std::tuple(code, value);
  }
  EXPECT_EQ(Sorted(errors, 8), (Texts{"ok", "failed", "popup-1", "zero"}));
}

TEST(DialogResults, NeverAnsweredOddStatusAndAnsweredThenFailed) {
  HostRecord never = Host("n", 3, 0, -1);
  never.Status = 7;
  const ResultsTexts a = DialogResultsTexts(never);
  EXPECT_EQ(Texts({a.status, a.currentResponse, a.minResponse, a.sent, a.failed, a.successRate}),
            (Texts{"?", "-", "-", "3", "3", " 0.00"}));
  EXPECT_EQ(DialogResultsTexts(HostRecord()).successRate, "-");
  HostRecord answered = Host("a", 2, 1, -1, 0);
  answered.Status = StatusError;
  const ResultsTexts b = DialogResultsTexts(answered);
  EXPECT_EQ(
      Texts({b.status, b.currentResponse, b.minResponse, b.received, b.failed, b.successRate}),
      (Texts{"ERROR", "-", "< 10", "1", "1", "50.00"}));
}

}  // namespace
}  // namespace kelvoran
