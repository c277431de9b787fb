#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/calendar_time.h"

namespace kelvoran {

// Seconds east of UTC at a moment (the platform's LocalUtcOffset).
using UtcOffsetAt = std::function<std::int64_t(CalendarTime utc)>;

// A weekly schedule of times, on the monitoring computer's wall clock, when a
// channel is not used. Written as spans separated by ";", each an optional
// set of days and a time range: "Mon-Fri 22:00-07:00; Sat,Sun 00:00-24:00".
// Without days a span holds every day. A range whose end is not after its
// start runs past midnight and belongs to the day it starts on, so
// "Fri 22:00-07:00" is Friday night into Saturday morning.
//
// Being the wall clock, a span follows daylight saving: in the spring the
// skipped hour simply never comes (a span inside it is not quiet that day, and
// one ending inside it ends at the jump); in the autumn the repeated hour is
// quiet both times if the span holds it.
class QuietHours {
 public:
  struct Span {
    // Bit 0 Monday ... bit 6 Sunday: the days the span starts on.
    std::uint8_t days = 0x7F;
    // Minutes since midnight; `to` may be 1440 (24:00).
    int from = 0;
    int to = 0;
    bool operator==(const Span&) const = default;
  };

  // The schedule of the text, or none with `problem` saying what is wrong.
  // Empty text is an empty schedule (never quiet).
  static std::optional<QuietHours> Parse(std::string_view text, std::string& problem);
  // The text form, as Parse reads it back.
  std::string Text() const;
  bool Empty() const { return spans_.empty(); }

  bool IsQuiet(CalendarTime utc, const UtcOffsetAt& offset) const;
  // The first moment from `utc` on that is not quiet (`utc` itself when it is
  // not); none when the schedule is quiet for the whole week.
  std::optional<CalendarTime> QuietEnds(CalendarTime utc, const UtcOffsetAt& offset) const;

  bool operator==(const QuietHours&) const = default;

 private:
  // Whether the local minute of the week (0 = Monday 00:00) is quiet.
  bool QuietAt(int minuteOfWeek) const;
  // Minutes from `minuteOfWeek` to the next start or end of a span.
  int MinutesToNextBoundary(int minuteOfWeek) const;

  std::vector<Span> spans_;
};

}  // namespace kelvoran
