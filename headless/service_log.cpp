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

namespace {

std::FILE* OpenForAppending(const std::filesystem::path& path) {
  return std::fopen(path.string().c_str(), "a");
}

}  // namespace

LogFile::LogFile(std::filesystem::path path, std::uintmax_t limit)
    : stream_(OpenForAppending(path)), path_(std::move(path)), limit_(limit) {}

LogFile::~LogFile() {
  if (!path_.empty() && stream_) std::fclose(stream_);
}

bool LogFile::ReachedLimit() {
  // A stream opened for appending writes at the end whatever its position,
  // but the C runtimes disagree on where that position starts: it is put
  // there before it is read.
  if (std::fseek(stream_, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(stream_);
  return size >= 0 && static_cast<std::uintmax_t>(size) >= limit_;
}

void LogFile::StartAfresh() {
  // Windows renames neither an open file nor onto an existing one: the file
  // is closed and the older copy removed first, the same on every system.
  std::fclose(stream_);
  std::filesystem::path kept = path_;
  kept += ".1";
  std::error_code error;
  std::filesystem::remove(kept, error);
  std::filesystem::rename(path_, kept, error);
  // When the rename failed, the lines go on at the end of the same file
  // rather than being lost.
  stream_ = OpenForAppending(path_);
}

void LogFile::Write(const std::string& text) {
  const std::scoped_lock lock(mutex_);
  if (!path_.empty()) {
    if (stream_ && ReachedLimit()) StartAfresh();
    // A file that could not be opened is tried again with each line.
    if (!stream_) stream_ = OpenForAppending(path_);
  }
  if (!stream_) return;
  std::fputs(text.c_str(), stream_);
  std::fflush(stream_);
}

void ServiceLog::Write(CalendarTime at, const std::string& text) {
  file_.Write(LogTimeText(at) + " " + text + "\n");
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
