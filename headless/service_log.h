#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

#include "alert/alert_journal.h"
#include "engine/calendar_time.h"
#include "engine/result_sink.h"

namespace kelvoran {

// The local time a log line starts with, as the outage and alert logs write
// it: "2024-05-01 13:45:07".
std::string LogTimeText(CalendarTime seconds);

// A change of status as the outage log lists it: host, from, to and cause.
std::string StatusChangeText(const std::string& host, std::int32_t before, std::int32_t after,
                             const std::string& cause);
// An alert attempt as the alert log lists it.
std::string AlertAttemptText(const AlertLogEntry& entry);

// The Windows service's log, in its folder, and the size past which it is
// started afresh: a service left running for months keeps at most about
// twice that on disk.
inline constexpr char kServiceLogName[] = "KELVORAN.LOG";
inline constexpr std::uintmax_t kServiceLogLimit = 10 * 1024 * 1024;

// Where the log's lines go: a stream of the caller's (standard error), or a
// file of the log's own. A file that has reached its limit when a line is to
// be written is renamed NAME.1, in place of an older one, and a new file
// started; a line is never split between the two.
class LogFile {
 public:
  explicit LogFile(std::FILE* stream) : stream_(stream) {}
  // Appends to `path`, made when missing; IsOpen() tells whether it could be.
  LogFile(std::filesystem::path path, std::uintmax_t limit);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  bool IsOpen() const { return stream_ != nullptr; }
  // Writes `text` as it is, in one call: lines of several threads never
  // interleave.
  void Write(const std::string& text);

 private:
  bool ReachedLimit();
  void StartAfresh();

  std::mutex mutex_;
  std::FILE* stream_ = nullptr;
  // Empty for a stream of the caller's, which is never started afresh.
  std::filesystem::path path_;
  std::uintmax_t limit_ = 0;
};

// The log of a program without a window: one line per change of status,
// per alert attempt and per event of its own, each with its local time. No
// line per probe: a change is what an operator reads a log for.
class ServiceLog final : public ResultSink {
 public:
  explicit ServiceLog(LogFile& file) : file_(file) {}

  void Write(CalendarTime at, const std::string& text);
  void WriteNow(const std::string& text);
  void Attempted(const AlertLogEntry& entry) { Write(entry.at, AlertAttemptText(entry)); }

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override {}

 private:
  LogFile& file_;
};

}  // namespace kelvoran
