#include "ui/host_row_text.h"

#include <cstdio>
#include <string_view>

#include "engine/host_record.h"

namespace kelvoran {
namespace {

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
