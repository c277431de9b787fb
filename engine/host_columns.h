#pragma once

// The host list's columns, each defined once: its title, its width, how it
// aligns, its cell's text and how rows sort by it. Plain text and order
// rules, so that the list's widgets only draw what is here.

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

enum class ColumnAlign { Left, Right };

struct HostColumnDefinition {
  const char* title;
  // In DIPs; a column is never narrower than its title.
  int width;
  ColumnAlign align;
  // The cell's text. The host name's own cell is the view's (it carries the
  // status image), so its text here is the name itself.
  std::string (*text)(const HostRecord&);
  // Negative when a goes above b in an ascending sort, 0 when equal.
  int (*compare)(const HostRecord& a, const HostRecord& b);
};

// The definition of a column; anything outside 0 to kColumnCount - 1 is the
// host name's.
const HostColumnDefinition& HostColumnAt(int column);

// Received x 100 / sent; not a number before the first probe.
double SuccessRate(const HostRecord& host);
// "%5.2f" of the success rate, or "-" before the first probe.
std::string SuccessRateText(const HostRecord& host);
// A round trip as the list shows it: "-" with no reply yet, "< 10" for a
// reply timed at 0 ms.
std::string ResponseText(std::uint32_t ms, std::uint32_t received);

// Host names compared the way the list and the settings file compare them:
// ASCII letters folded to lower case, then bytes as unsigned values.
int CompareHostNames(std::string_view a, std::string_view b);

}  // namespace kelvoran
