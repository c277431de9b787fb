#include "alert/quiet_hours.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace kelvoran {
namespace {

// The text in double quotes. Built by appending: GCC 12 warns falsely
// (-Wrestrict) on a literal put in front of a temporary string.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  quoted.append(text);
  quoted += '"';
  return quoted;
}

constexpr int kMinutesPerDay = 24 * 60;
constexpr int kMinutesPerWeek = 7 * kMinutesPerDay;
constexpr std::array<const char*, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::uint8_t kEveryDay = 0x7F;

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int> DayOf(std::string_view name) {
  if (name.size() != 3) return std::nullopt;
  for (std::size_t day = 0; day < kDayNames.size(); ++day) {
    const std::string_view known = kDayNames[day];
    if (std::equal(name.begin(), name.end(), known.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        }))
      return static_cast<int>(day);
  }
  return std::nullopt;
}

// "Mon-Fri", "Sat,Sun", "Mon,Wed-Fri"; a range may wrap ("Fri-Mon").
std::optional<std::uint8_t> DaysOf(std::string_view text, std::string& problem) {
  std::uint8_t days = 0;
  while (!text.empty()) {
    const std::size_t comma = std::min(text.find(','), text.size());
    const std::string_view item = Trim(text.substr(0, comma));
    text = comma < text.size() ? text.substr(comma + 1) : std::string_view();
    const std::size_t dash = item.find('-');
    const std::optional<int> first = DayOf(Trim(item.substr(0, dash)));
    const std::optional<int> last =
        dash == std::string_view::npos ? first : DayOf(Trim(item.substr(dash + 1)));
    if (!first || !last) {
      problem = Quoted(item) + " is not a day or days such as Mon or Mon-Fri";
      return std::nullopt;
    }
    for (int day = *first;; day = (day + 1) % 7) {
      days = static_cast<std::uint8_t>(days | (1u << day));
      if (day == *last) break;
    }
  }
  return days;
}

// "7:00" or "22:30"; "24:00" only where `endOfDay` allows it.
std::optional<int> MinuteOf(std::string_view text, bool endOfDay) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || text.size() - colon != 3) return std::nullopt;
  int hours = -1, minutes = -1;
  const char* end = text.data() + colon;
  if (std::from_chars(text.data(), end, hours).ptr != end || colon == 0 || colon > 2)
    return std::nullopt;
  end = text.data() + text.size();
  if (std::from_chars(text.data() + colon + 1, end, minutes).ptr != end) return std::nullopt;
  if (hours < 0 || minutes < 0 || minutes > 59) return std::nullopt;
  const int minute = hours * 60 + minutes;
  if (minute < kMinutesPerDay || (endOfDay && minute == kMinutesPerDay)) return minute;
  return std::nullopt;
}

std::optional<QuietHours::Span> SpanOf(std::string_view text, std::string& problem) {
  QuietHours::Span span;
  const std::size_t blank = text.find_last_of(" \t");
  const std::string_view range = blank == std::string_view::npos ? text : text.substr(blank + 1);
  if (blank != std::string_view::npos) {
    const std::optional<std::uint8_t> days = DaysOf(Trim(text.substr(0, blank)), problem);
    if (!days) return std::nullopt;
    span.days = *days;
  }
  const std::size_t dash = range.find('-');
  const std::optional<int> from = MinuteOf(range.substr(0, dash), false);
  const std::optional<int> to =
      dash == std::string_view::npos ? std::nullopt : MinuteOf(range.substr(dash + 1), true);
  if (!from || !to) {
    problem = Quoted(range) + " is not a time range such as 22:00-07:00";
    return std::nullopt;
  }
  if (*from == *to) {
    problem = Quoted(range) + " lasts no time; a whole day is 00:00-24:00";
    return std::nullopt;
  }
  span.from = *from;
  span.to = *to;
  return span;
}

std::string ClockText(int minute) {
  const auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  return two(minute / 60) + ":" + two(minute % 60);
}

bool HasDay(std::uint8_t days, int day) { return (days >> ((day + 7) % 7)) & 1; }

// Runs of days as ranges, a run over the week's end included ("Sun-Thu"),
// from the first run that begins in the week.
std::string DaysText(std::uint8_t days) {
  if (days == kEveryDay) return {};
  int first = 0;
  while (first < 7 && (!HasDay(days, first) || HasDay(days, first - 1))) ++first;
  std::string text;
  for (int day = first; day < first + 7;) {
    if (!HasDay(days, day)) {
      ++day;
      continue;
    }
    int last = day;
    while (last + 1 < first + 7 && HasDay(days, last + 1)) ++last;
    if (!text.empty()) text += ",";
    text += kDayNames[static_cast<std::size_t>(day % 7)];
    if (last > day)
      text +=
          std::string(last == day + 1 ? "," : "-") + kDayNames[static_cast<std::size_t>(last % 7)];
    day = last + 1;
  }
  return text + " ";
}

// The local minute of the week, 0 being Monday 00:00; 1970-01-01 was a
// Thursday.
int MinuteOfWeek(CalendarTime local) {
  const CalendarTime minutes = local >= 0 ? local / 60 : -((-local + 59) / 60);
  const CalendarTime shifted = minutes + 3 * kMinutesPerDay;
  return static_cast<int>(((shifted % kMinutesPerWeek) + kMinutesPerWeek) % kMinutesPerWeek);
}

CalendarTime SecondsIntoMinute(CalendarTime local) { return ((local % 60) + 60) % 60; }

}  // namespace

std::optional<QuietHours> QuietHours::Parse(std::string_view text, std::string& problem) {
  QuietHours hours;
  while (!text.empty()) {
    const std::size_t semicolon = std::min(text.find(';'), text.size());
    const std::string_view item = Trim(text.substr(0, semicolon));
    text = semicolon < text.size() ? text.substr(semicolon + 1) : std::string_view();
    if (item.empty()) continue;
    const std::optional<Span> span = SpanOf(item, problem);
    if (!span) return std::nullopt;
    hours.spans_.push_back(*span);
  }
  return hours;
}

std::string QuietHours::Text() const {
  std::string text;
  for (const Span& span : spans_) {
    if (!text.empty()) text += "; ";
    text += DaysText(span.days) + ClockText(span.from) + "-" + ClockText(span.to);
  }
  return text;
}

bool QuietHours::QuietAt(int minuteOfWeek) const {
  const int day = minuteOfWeek / kMinutesPerDay;
  const int minute = minuteOfWeek % kMinutesPerDay;
  return std::any_of(spans_.begin(), spans_.end(), [&](const Span& span) {
    if (span.from < span.to)
      return HasDay(span.days, day) && minute >= span.from && minute < span.to;
    return (HasDay(span.days, day) && minute >= span.from) ||
           (HasDay(span.days, day - 1) && minute < span.to);
  });
}

int QuietHours::MinutesToNextBoundary(int minuteOfWeek) const {
  int nearest = kMinutesPerWeek;
  const auto consider = [&](int boundary) {
    const int ahead =
        ((boundary - minuteOfWeek) % kMinutesPerWeek + kMinutesPerWeek) % kMinutesPerWeek;
    if (ahead > 0) nearest = std::min(nearest, ahead);
  };
  for (const Span& span : spans_) {
    for (int day = 0; day < 7; ++day) {
      if (!HasDay(span.days, day)) continue;
      consider(day * kMinutesPerDay + span.from);
      consider(day * kMinutesPerDay + span.to + (span.to <= span.from ? kMinutesPerDay : 0));
    }
  }
  return nearest;
}

bool QuietHours::IsQuiet(CalendarTime utc, const UtcOffsetAt& offset) const {
  return !spans_.empty() && QuietAt(MinuteOfWeek(utc + offset(utc)));
}

// Steps from boundary to boundary of the schedule on the wall clock. Where the
// offset changes before the next boundary, the step ends at the change (found
// by halving, as the platform tells offsets only moment by moment) and the
// wall clock is read again there.
std::optional<CalendarTime> QuietHours::QuietEnds(CalendarTime utc,
                                                  const UtcOffsetAt& offset) const {
  constexpr CalendarTime kSearched = 8 * 24 * 60 * 60;
  for (CalendarTime at = utc; at <= utc + kSearched;) {
    const std::int64_t here = offset(at);
    const CalendarTime local = at + here;
    if (!QuietAt(MinuteOfWeek(local))) return at;
    CalendarTime next = at + CalendarTime{MinutesToNextBoundary(MinuteOfWeek(local))} * 60 -
                        SecondsIntoMinute(local);
    if (offset(next) != here) {
      CalendarTime same = at;
      while (next - same > 1) {
        const CalendarTime middle = same + (next - same) / 2;
        (offset(middle) == here ? same : next) = middle;
      }
    }
    at = next;
  }
  return std::nullopt;
}

}  // namespace kelvoran
