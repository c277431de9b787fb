#include "ui/main_window/host_row_text.h"

#include <gtest/gtest.h>

#include "engine/host_record.h"
#include "ui/main_window/row_cells.h"

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

// Each change lands in its own cell only, whatever the lengths around it.
TEST(RowCells, StoresEachCellApartAndSaysWhetherItChanged) {
  RowCells cells(4);
  const auto all = [&cells] {
    return Texts{std::string(cells.At(0)), std::string(cells.At(1)), std::string(cells.At(2)),
                 std::string(cells.At(3))};
  };
  EXPECT_EQ(all(), Texts({"", "", "", ""}));
  EXPECT_TRUE(cells.Store(3, "last"));
  EXPECT_TRUE(cells.Store(1, "2026-12-08 18:00:01 a time too long for a short string"));
  EXPECT_TRUE(cells.Store(0, "first"));
  EXPECT_FALSE(cells.Store(3, "last"));
  EXPECT_EQ(all(),
            Texts({"first", "2026-12-08 18:00:01 a time too long for a short string", "", "last"}));
  EXPECT_TRUE(cells.Store(1, "ms"));
  EXPECT_TRUE(cells.Store(2, std::string_view("cut\0here", 8)));
  EXPECT_TRUE(cells.Store(0, ""));
  EXPECT_EQ(all(), Texts({"", "ms", "cut", "last"}));
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
