#pragma once

#include <chrono>
#include <span>
#include <string>
#include <string_view>

#include "alert/alert_event.h"

namespace kelvoran {

// How a field's value is made safe for where the text goes. Only the values
// are escaped: the template's own text is what its writer meant.
enum class Escaping {
  // As captured: for program arguments and environment variables.
  None,
  // Control characters become spaces, so that a host name holding a line
  // break cannot add a header to an e-mail or a forged line to a log.
  PlainText,
  // Inside a JSON string: quotes, backslashes and control characters
  // escaped, other bytes (UTF-8 included) passed through.
  JsonString,
};

// A placeholder's name (without braces) and how its value is read.
struct AlertField {
  std::string_view name;
  std::string (*value)(const AlertEvent&);
};

// "reminder 2 of 3", or empty for the alert itself.
std::string ReminderText(const AlertEvent& event);

// Every placeholder an alert text may use, in a fixed order.
std::span<const AlertField> AlertFields();

// A moment on the local clock, taken apart for writing it out.
struct LocalClockReading {
  std::chrono::year_month_day date;
  std::chrono::weekday weekday;
  int hours = 0, minutes = 0, seconds = 0;
  // The offset from UTC: its sign, and its size in hours and minutes.
  char offsetSign = '+';
  int offsetHours = 0, offsetMinutes = 0;
};
LocalClockReading ReadLocalClock(const LocalMoment& moment);

// "2026-12-07T23:35:04+01:00": the moment on the local clock with its offset.
std::string Iso8601(const LocalMoment& moment);

std::string Escaped(std::string_view value, Escaping escaping);

// The template with each known {name} replaced by the event's value, escaped.
// Unknown placeholders stay as written; "{{" and "}}" give single braces.
std::string RenderAlert(std::string_view text, const AlertEvent& event, Escaping escaping);

}  // namespace kelvoran
