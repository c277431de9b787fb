#include "ui/main_window/host_row_text.h"

#include "engine/host_record.h"

namespace kelvoran {

std::array<std::string, kColumnCount> RowCellTexts(const HostRecord& host) {
  std::array<std::string, kColumnCount> cells;
  for (int column = ColumnHost + 1; column < kColumnCount; ++column)
    cells[static_cast<std::size_t>(column)] = HostColumnAt(column).text(host);
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
