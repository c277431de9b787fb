#pragma once

// What the host list and the settings dialog show of a record, and how rows
// sort. Plain text rules, kept apart from the widgets so they are tested
// without a display.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvoran {

class HostRecord;

inline constexpr int kColumnCount = 9;
enum HostColumn : int {
  ColumnHost = 0,
  ColumnDescription,
  ColumnDelay,
  ColumnSent,
  ColumnPercentOk,
  ColumnMinResponse,
  ColumnAvgResponse,
  ColumnMaxResponse,
  ColumnError,
};

// The texts of cells 1 to 8 (index 0, the host name, is left empty).
std::array<std::string, kColumnCount> RowCellTexts(const HostRecord& host);

// "%5.2f" of received x 100 / sent, or "-" before the first probe.
std::string SuccessRateText(const HostRecord& host);

// The sort key after a click on a column header: the column (0 for anything
// outside 1 to 8) plus 65536 when the same column was last sorted ascending.
std::int32_t NextSortKey(std::int32_t lastSortKey, int clickedColumn);

// Host names compared the way the list and the settings file compare them:
// ASCII letters folded to lower case, then bytes as unsigned values.
int CompareHostNames(std::string_view a, std::string_view b);

// Negative when a goes above b under the sort key, 0 when equal.
int CompareRows(const HostRecord& a, const HostRecord& b, std::int32_t sortKey);

// The results fields of the settings dialog, top to bottom.
struct ResultsTexts {
  std::string status;
  std::string currentResponse;
  std::string minResponse;
  std::string avgResponse;
  std::string maxResponse;
  std::string sent;
  std::string received;
  std::string failed;
  std::string successRate;
  std::string error;
};
ResultsTexts DialogResultsTexts(const HostRecord& host);

}  // namespace kelvoran
