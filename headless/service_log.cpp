#include "headless/service_log.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>

#include "alert/alert_log_text.h"
#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "history/range_summary.h"
#include "platform/local_time.h"

namespace kelvoran {

std::string LogTimeText(CalendarTime utc) {
  // The offset in force at that moment, applied to UTC: the calendar of
  // <chrono> needs no zone lookup or lock of its own.
  using namespace std::chrono;
  const sys_seconds local{seconds{utc + LocalUtcOffset(utc)}};
  const auto day = floor<days>(local);
  const year_month_day date{day};
  const hh_mm_ss time{local - day};
  std::array<char, 40> text{};
  const int length = std::snprintf(
      text.data(), text.size(), "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()));
  return {text.data(), static_cast<std::size_t>(std::max(length, 0))};
}

std::string StatusChangeText(const std::string& host, std::int32_t before, std::int32_t after,
                             const std::string& cause) {
  return host + ": " + StatusName(before) + " -> " + StatusName(after) +
         (cause.empty() ? "" : ": " + cause);
}

std::string AlertAttemptText(const AlertLogEntry& entry) {
  const auto columns = AlertAttemptColumns(entry, LogTimeText);
  // Time, host, channel, alert, outcome, details.
  return columns[1] + ": alert to \"" + columns[2] + "\" (" + columns[3] + ") " + columns[4] +
         (columns[5].empty() ? "" : ": " + columns[5]);
}

void ServiceLog::Write(CalendarTime at, const std::string& text) {
  // One call per line: lines of several threads never interleave.
  std::fputs((LogTimeText(at) + " " + text + "\n").c_str(), stream_);
  std::fflush(stream_);
}

void ServiceLog::WriteNow(const std::string& text) { Write(std::time(nullptr), text); }

void ServiceLog::ResultApplied(const HostRecord& host, const ProbeResult& result,
                               std::int32_t statusBefore) {
  if (host.Status == statusBefore) return;
  // The cause is the text the history records with the change.
  Write(result.StartTime, StatusChangeText(host.Host, statusBefore, host.Status,
                                           ResultText(result.ResultCode, result.ResultValue)));
}

}  // namespace kelvoran
