#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_types.h"
#include "history/range_summary.h"

namespace kelvoran {

// Tables as comma-separated text (RFC 4180): CRLF after every record, and a
// field in double quotes, its own quotes doubled, when it holds a comma, a
// quote or a line break. A record's texts are written as ToUtf8Text gives
// them: on Linux the bytes pass unchanged, so a host name that is not UTF-8
// reads back as it was written; on Windows they are converted from the ANSI
// code page, and the tables start with ExportedFileStart
// (portable/exported_text.h).
std::string CsvField(std::string_view text);
void WriteCsvRecord(std::ostream& out, std::initializer_list<std::string_view> fields);
void WriteCsvRecord(std::ostream& out, std::span<const std::string_view> fields);
void WriteCsvRecord(std::ostream& out, std::span<const std::string> fields);

// A file name, such as one proposed for an export, that both Windows and
// Linux accept: the characters Windows forbids in names (<>:"/\|?* and the
// control characters) become '_'. UTF-8 passes unchanged, as none of its
// multi-byte sequences holds such a byte.
std::string PortableFileName(std::string_view name);

// How a time is written in a file.
using TimeWriter = std::function<std::string(HistoryTime)>;

// ISO 8601 local time with milliseconds and the UTC offset in force then,
// "2026-03-29T03:00:00.250+02:00". The offset comes from the system's zone
// rules (platform/local_time.h) and is asked once per quarter hour of times
// written, which keeps a million-row export cheap: no zone changes its
// offset inside a quarter hour.
class IsoTimeWriter {
 public:
  using OffsetRule = std::function<std::int64_t(std::int64_t seconds)>;
  explicit IsoTimeWriter(OffsetRule offsetAt) : offsetAt_(std::move(offsetAt)) {}
  std::string operator()(HistoryTime ms);

 private:
  OffsetRule offsetAt_;
  std::optional<std::int64_t> slot_;
  std::int64_t offset_ = 0;
};
// How a result code reads (engine/result_text.h).
using ResultWriter = std::function<std::string(std::int32_t code)>;

void WriteSamplesCsv(std::ostream& out, const std::string& host,
                     std::span<const HistorySample> samples, const TimeWriter& time,
                     const ResultWriter& result);
// A summarised range: a record per summary, its span in the header line,
// and the whole seconds the host spent in each status.
void WriteSummariesCsv(std::ostream& out, const std::string& host,
                       std::span<const HistorySummary> summaries, const TimeWriter& time);
// With a "Last answer" column when `lastAnswer` is given: the last hop that
// answered the path recorded as the outage began.
void WriteChangesCsv(std::ostream& out, std::span<const LoggedChange> log, const TimeWriter& time,
                     const std::function<std::string(const LoggedChange&)>& lastAnswer = {});

}  // namespace kelvoran
