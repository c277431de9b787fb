#include "engine/host_columns.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "engine/host_record.h"
#include "portable/text_compare.h"

namespace kelvoran {
namespace {

int Sign(auto a, auto b) { return a < b ? -1 : (a > b ? 1 : 0); }

std::string LastDelayText(const HostRecord& host) {
  if (host.LastDelay == -1) return "-";
  if (host.LastDelay == 0) return host.SentCount != 0 ? "< 10" : "-";
  // Shown as the unsigned value it counts.
  return std::to_string(static_cast<std::uint32_t>(host.LastDelay));
}

// A muted host says so first, and when the mute ends.
std::string ErrorCellText(const HostRecord& host) {
  std::string text = host.ResultText();
  if (host.MuteNote.empty()) return text;
  return text.empty() ? host.MuteNote.str() : host.MuteNote.str() + "; " + text;
}

// Hosts not yet probed go above every rate, whatever the direction.
int CompareSuccessRates(const HostRecord& a, const HostRecord& b) {
  if (a.SentCount == 0 || b.SentCount == 0) return Sign(a.SentCount != 0, b.SentCount != 0);
  return Sign(SuccessRate(a), SuccessRate(b));
}

constexpr auto kLeft = ColumnAlign::Left;
constexpr auto kRight = ColumnAlign::Right;

const std::array<HostColumnDefinition, kColumnCount> kColumns = {{
    {"Host", 150, kLeft, [](const HostRecord& h) { return h.Host; },
     [](const HostRecord& a, const HostRecord& b) { return CompareHostNames(a.Host, b.Host); }},
    {"Description", 139, kLeft, [](const HostRecord& h) { return h.Description; },
     [](const HostRecord& a, const HostRecord& b) {
       return CompareHostNames(a.Description, b.Description);
     }},
    {"Delay (ms)", 80, kRight, LastDelayText,
     [](const HostRecord& a, const HostRecord& b) { return Sign(a.LastDelay, b.LastDelay); }},
    {"Sent", 80, kRight, [](const HostRecord& h) { return std::to_string(h.SentCount); },
     [](const HostRecord& a, const HostRecord& b) { return Sign(a.SentCount, b.SentCount); }},
    {"% OK", 80, kRight, SuccessRateText, CompareSuccessRates},
    {"Min.resp(ms)", 80, kRight,
     [](const HostRecord& h) { return ResponseText(h.MinResponse, h.ReceivedCount); },
     [](const HostRecord& a, const HostRecord& b) { return Sign(a.MinResponse, b.MinResponse); }},
    {"Avg.resp(ms)", 80, kRight,
     [](const HostRecord& h) { return ResponseText(h.AvgResponse, h.ReceivedCount); },
     [](const HostRecord& a, const HostRecord& b) { return Sign(a.AvgResponse, b.AvgResponse); }},
    {"Max.resp(ms)", 80, kRight,
     [](const HostRecord& h) { return ResponseText(h.MaxResponse, h.ReceivedCount); },
     [](const HostRecord& a, const HostRecord& b) { return Sign(a.MaxResponse, b.MaxResponse); }},
    {"Error", 180, kLeft, ErrorCellText,
     [](const HostRecord& a, const HostRecord& b) {
       if (a.ResultCode != b.ResultCode) return Sign(a.ResultCode, b.ResultCode);
       return Sign(a.ResultValue, b.ResultValue);
     }},
}};

}  // namespace

const HostColumnDefinition& HostColumnAt(int column) {
  return kColumns[column >= 0 && column < kColumnCount ? static_cast<std::size_t>(column) : 0];
}

double SuccessRate(const HostRecord& host) {
  return static_cast<double>(host.ReceivedCount) * 100.0 / static_cast<double>(host.SentCount);
}

std::string SuccessRateText(const HostRecord& host) {
  if (host.SentCount == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%5.2f", SuccessRate(host));
  return text;
}

std::string ResponseText(std::uint32_t ms, std::uint32_t received) {
  if (received == 0) return "-";
  if (ms == 0) return "< 10";
  return std::to_string(ms);
}

int CompareHostNames(std::string_view a, std::string_view b) { return CompareIgnoringCase(a, b); }

}  // namespace kelvoran
