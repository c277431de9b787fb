#include "history/csv_export.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "portable/ansi_text.h"
#include "portable/exported_text.h"

namespace kelvoran {
namespace {

std::string Seconds(HistoryTime ms) { return std::to_string(ms / 1000); }

bool IsForbiddenInFileNames(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F ||
         std::string_view(R"(<>:"/\|?*)").find(c) != std::string_view::npos;
}

}  // namespace

std::string IsoTimeWriter::operator()(HistoryTime ms) {
  using namespace std::chrono;
  const std::int64_t whole = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  constexpr std::int64_t kSlot = 15 * 60;
  const std::int64_t slot = whole >= 0 ? whole / kSlot : (whole - kSlot + 1) / kSlot;
  if (slot != slot_) {
    slot_ = slot;
    offset_ = offsetAt_(whole);
  }
  const sys_seconds local{seconds(whole + offset_)};
  const sys_days day = floor<days>(local);
  const year_month_day date{day};
  const hh_mm_ss clock{local - day};
  const std::int64_t offsetMinutes = (offset_ < 0 ? -offset_ : offset_) / 60;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(ms - whole * 1000),
                offset_ < 0 ? '-' : '+', static_cast<int>(offsetMinutes / 60),
                static_cast<int>(offsetMinutes % 60));
  return text;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

void WriteCsvRecord(std::ostream& out, std::initializer_list<std::string_view> fields) {
  WriteCsvRecord(out, std::span(fields.begin(), fields.size()));
}

void WriteCsvRecord(std::ostream& out, std::span<const std::string> fields) {
  WriteCsvRecord(out, std::vector<std::string_view>(fields.begin(), fields.end()));
}

void WriteCsvRecord(std::ostream& out, std::span<const std::string_view> fields) {
  std::string record;
  bool first = true;
  for (const std::string_view field : fields) {
    if (!std::exchange(first, false)) record += ',';
    record += CsvField(field);
  }
  out << ToUtf8Text(record) << "\r\n";
}

std::string PortableFileName(std::string_view name) {
  std::string portable(name);
  std::ranges::replace_if(portable, IsForbiddenInFileNames, '_');
  return portable;
}

void WriteSamplesCsv(std::ostream& out, const std::string& host,
                     std::span<const HistorySample> samples, const TimeWriter& time,
                     const ResultWriter& result) {
  out << ExportedFileStart;
  WriteCsvRecord(out, {"Time", "Host", "Result code", "Result", "Round trip (ms)", "Status"});
  for (const HistorySample& sample : samples) {
    const std::string roundTrip = sample.code == 0 ? std::to_string(sample.roundTrip) : "";
    WriteCsvRecord(out, {time(sample.time), host, std::to_string(sample.code), result(sample.code),
                         roundTrip, StatusName(sample.status)});
  }
}

void WriteSummariesCsv(std::ostream& out, const std::string& host,
                       std::span<const HistorySummary> summaries, const TimeWriter& time) {
  out << ExportedFileStart;
  const bool hourly = !summaries.empty() && summaries.front().span == HistorySummary::kHour;
  WriteCsvRecord(out, {hourly ? "Hour from" : "5 minutes from", "Host", "Probes", "Failed",
                       "Min round trip (ms)", "Avg round trip (ms)", "Max round trip (ms)",
                       "95th percentile (ms)", "OK (s)", "WARNING (s)", "ERROR (s)"});
  for (const HistorySummary& summary : summaries) {
    const RangeSummary figures = SummariseSummaries({&summary, 1});
    const auto number = [](std::optional<std::uint32_t> ms) {
      return ms ? std::to_string(*ms) : std::string();
    };
    WriteCsvRecord(
        out,
        {time(summary.start), host, std::to_string(summary.probes),
         std::to_string(summary.failures), number(figures.minRoundTrip),
         figures.minRoundTrip ? std::to_string(std::lround(figures.averageRoundTrip))
                              : std::string(),
         number(figures.maxRoundTrip), number(figures.percentile95), Seconds(summary.msInStatus[0]),
         Seconds(summary.msInStatus[1]), Seconds(summary.msInStatus[2])});
  }
}

void WriteChangesCsv(std::ostream& out, std::span<const LoggedChange> log, const TimeWriter& time,
                     const std::function<std::string(const LoggedChange&)>& lastAnswer) {
  out << ExportedFileStart;
  std::vector<std::string> header = {"Time", "Host", "From", "To", "Lasted (s)", "Cause"};
  if (lastAnswer) header.emplace_back("Last answer");
  WriteCsvRecord(out, header);
  for (const LoggedChange& entry : log) {
    const HistoryChange& change = entry.change;
    std::vector<std::string> record = {time(change.time),
                                       change.host,
                                       StatusName(change.before),
                                       StatusName(change.after),
                                       entry.lasted ? Seconds(*entry.lasted) : "",
                                       change.text};
    if (lastAnswer) record.push_back(lastAnswer(entry));
    WriteCsvRecord(out, record);
  }
}

}  // namespace kelvoran
