#include "alert/alert_template.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kelvoran {
namespace {

std::string Number(std::int64_t value) { return std::to_string(value); }

constexpr std::array<AlertField, 13> Fields{{
    {"event",
     [](const AlertEvent& e) -> std::string {
       constexpr const char* kNames[] = {"down",    "ok",      "slow",     "lossy",
                                         "jittery", "slow_ok", "lossy_ok", "jittery_ok"};
       const auto index = static_cast<std::size_t>(e.kind);
       return index < std::size(kNames) ? kNames[index] : "";
     }},
    {"host", [](const AlertEvent& e) { return e.host; }},
    {"description", [](const AlertEvent& e) { return e.description; }},
    {"status", [](const AlertEvent& e) { return e.status; }},
    {"previous_status", [](const AlertEvent& e) { return e.previousStatus; }},
    {"error", [](const AlertEvent& e) { return e.error; }},
    {"outage_start", [](const AlertEvent& e) { return Iso8601(e.outageStart); }},
    {"duration", [](const AlertEvent& e) { return Number(e.outageSeconds); }},
    {"rtt",
     [](const AlertEvent& e) { return e.roundTripMs ? Number(*e.roundTripMs) : std::string(); }},
    {"loss", [](const AlertEvent& e) { return Number(e.lossPercent); }},
    {"time", [](const AlertEvent& e) { return Iso8601(e.time); }},
    {"computer", [](const AlertEvent& e) { return e.computer; }},
    {"reminder", ReminderText},
}};

const AlertField* FindField(std::string_view name) {
  for (const AlertField& field : Fields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendJsonEscaped(std::string& out, unsigned char c) {
  if (c == '"' || c == '\\') {
    out += '\\';
    out += static_cast<char>(c);
  } else if (IsControl(c)) {
    char escape[7];
    std::snprintf(escape, sizeof escape, "\\u%04x", c);
    out += escape;
  } else {
    out += static_cast<char>(c);
  }
}

}  // namespace

std::span<const AlertField> AlertFields() { return Fields; }

std::string ReminderText(const AlertEvent& event) {
  if (event.reminder == 0) return {};
  return "reminder " + Number(event.reminder) + " of " + Number(event.reminders);
}

LocalClockReading ReadLocalClock(const LocalMoment& moment) {
  using namespace std::chrono;
  const sys_seconds local{seconds{moment.utc + moment.utcOffsetSeconds}};
  const sys_days day = floor<days>(local);
  const hh_mm_ss clock{local - day};
  const std::int32_t offset = std::abs(moment.utcOffsetSeconds) / 60;
  LocalClockReading reading;
  reading.date = year_month_day{day};
  reading.weekday = weekday{day};
  reading.hours = static_cast<int>(clock.hours().count());
  reading.minutes = static_cast<int>(clock.minutes().count());
  reading.seconds = static_cast<int>(clock.seconds().count());
  reading.offsetSign = moment.utcOffsetSeconds < 0 ? '-' : '+';
  reading.offsetHours = offset / 60;
  reading.offsetMinutes = offset % 60;
  return reading;
}

std::string Iso8601(const LocalMoment& moment) {
  const LocalClockReading r = ReadLocalClock(moment);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d%c%02d:%02d",
                static_cast<int>(r.date.year()), static_cast<unsigned>(r.date.month()),
                static_cast<unsigned>(r.date.day()), r.hours, r.minutes, r.seconds, r.offsetSign,
                r.offsetHours, r.offsetMinutes);
  return text;
}

std::string Escaped(std::string_view value, Escaping escaping) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (escaping == Escaping::JsonString) {
      AppendJsonEscaped(out, byte);
    } else {
      out += escaping == Escaping::PlainText && IsControl(byte) ? ' ' : c;
    }
  }
  return out;
}

std::string RenderAlert(std::string_view text, const AlertEvent& event, Escaping escaping) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      out += c;
      i += 2;
      continue;
    }
    const std::size_t close = c == '{' ? text.find('}', i + 1) : std::string_view::npos;
    const AlertField* field =
        close == std::string_view::npos ? nullptr : FindField(text.substr(i + 1, close - i - 1));
    if (field == nullptr) {
      out += c;
      ++i;
      continue;
    }
    out += Escaped(field->value(event), escaping);
    i = close + 1;
  }
  return out;
}

}  // namespace kelvoran
