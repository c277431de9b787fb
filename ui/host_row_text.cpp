#include "ui/host_row_text.h"

#include <cstdio>
#include <string_view>

#include "engine/host_record.h"
#include "portable/text_compare.h"

namespace kelvoran {
namespace {

constexpr std::int32_t kDescending = 65536;

// A reply timed at 0 ms reads "< 10", never "0".
std::string ResponseText(std::uint32_t ms, std::uint32_t received) {
  if (received == 0) return "-";
  if (ms == 0) return "< 10";
  return std::to_string(ms);
}

std::string LastDelayText(const HostRecord& host) {
  if (host.LastDelay == -1) return "-";
  if (host.LastDelay == 0) return host.SentCount != 0 ? "< 10" : "-";
  // Shown as the unsigned value it counts.
  return std::to_string(static_cast<std::uint32_t>(host.LastDelay));
}

double SuccessRate(const HostRecord& host) {
  return static_cast<double>(host.ReceivedCount) * 100.0 / static_cast<double>(host.SentCount);
}

int Sign(auto a, auto b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

int CompareHostNames(std::string_view a, std::string_view b) { return CompareIgnoringCase(a, b); }

namespace {

int CompareSuccessRates(const HostRecord& a, const HostRecord& b) {
  if (a.SentCount == 0 || b.SentCount == 0) return Sign(a.SentCount != 0, b.SentCount != 0);
  return Sign(SuccessRate(a), SuccessRate(b));
}

int CompareByColumn(const HostRecord& a, const HostRecord& b, int column) {
  switch (column) {
    case ColumnDescription:
      return CompareHostNames(a.Description, b.Description);
    case ColumnDelay:
      return Sign(a.LastDelay, b.LastDelay);
    case ColumnSent:
      return Sign(a.SentCount, b.SentCount);
    case ColumnPercentOk:
      return CompareSuccessRates(a, b);
    case ColumnMinResponse:
      return Sign(a.MinResponse, b.MinResponse);
    case ColumnAvgResponse:
      return Sign(a.AvgResponse, b.AvgResponse);
    case ColumnMaxResponse:
      return Sign(a.MaxResponse, b.MaxResponse);
    case ColumnError:
      if (a.ResultCode != b.ResultCode) return Sign(a.ResultCode, b.ResultCode);
      return Sign(a.ResultValue, b.ResultValue);
    default:
      return CompareHostNames(a.Host, b.Host);
  }
}

}  // namespace

std::string SuccessRateText(const HostRecord& host) {
  if (host.SentCount == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%5.2f", SuccessRate(host));
  return text;
}

std::array<std::string, kColumnCount> RowCellTexts(const HostRecord& host) {
  std::array<std::string, kColumnCount> cells;
  cells[ColumnDescription] = host.Description;
  cells[ColumnDelay] = LastDelayText(host);
  cells[ColumnSent] = std::to_string(host.SentCount);
  cells[ColumnPercentOk] = SuccessRateText(host);
  cells[ColumnMinResponse] = ResponseText(host.MinResponse, host.ReceivedCount);
  cells[ColumnAvgResponse] = ResponseText(host.AvgResponse, host.ReceivedCount);
  cells[ColumnMaxResponse] = ResponseText(host.MaxResponse, host.ReceivedCount);
  cells[ColumnError] = host.ResultText();
  return cells;
}

std::int32_t NextSortKey(std::int32_t lastSortKey, int clickedColumn) {
  const std::int32_t column = clickedColumn >= 1 && clickedColumn <= 8 ? clickedColumn : 0;
  const bool lastWasSameAscending = (lastSortKey & 0xFFFF) == column && lastSortKey < kDescending;
  return lastWasSameAscending ? column + kDescending : column;
}

int CompareRows(const HostRecord& a, const HostRecord& b, std::int32_t sortKey) {
  const int order = CompareByColumn(a, b, sortKey & 0xFFFF);
  return (static_cast<std::uint32_t>(sortKey) >> 16) != 0 ? -order : order;
}

ResultsTexts DialogResultsTexts(const HostRecord& host) {
  static constexpr const char* kStatusTexts[] = {"OK", "WARNING", "ERROR"};
  const std::uint32_t received = host.ReceivedCount;
  ResultsTexts texts;
  texts.status = host.Status >= 0 && host.Status <= 2 ? kStatusTexts[host.Status] : "?";
  texts.currentResponse = host.LastDelay == -1
                              ? "-"
                              : ResponseText(static_cast<std::uint32_t>(host.LastDelay), received);
  texts.minResponse = ResponseText(host.MinResponse, received);
  texts.avgResponse = ResponseText(host.AvgResponse, received);
  texts.maxResponse = ResponseText(host.MaxResponse, received);
  texts.sent = std::to_string(host.SentCount);
  texts.received = std::to_string(received);
  texts.failed = std::to_string(host.SentCount - received);
  texts.successRate = SuccessRateText(host);
  texts.error = host.ResultText();
  return texts;
}

}  // namespace kelvoran
