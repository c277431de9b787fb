#pragma once

#include <cstdint>
#include <cstdio>
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

// The log of a program without a window: one line per change of status,
// per alert attempt and per event of its own, each with its local time. No
// line per probe: a change is what an operator reads a log for.
class ServiceLog final : public ResultSink {
 public:
  explicit ServiceLog(std::FILE* stream) : stream_(stream) {}

  void Write(CalendarTime at, const std::string& text);
  void WriteNow(const std::string& text);
  void Attempted(const AlertLogEntry& entry) { Write(entry.at, AlertAttemptText(entry)); }

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override {}

 private:
  std::FILE* stream_;
};

}  // namespace kelvoran
