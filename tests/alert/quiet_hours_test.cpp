#include "alert/quiet_hours.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kelvoran {
namespace {

// Seconds since the epoch of a UTC date and time.
CalendarTime Utc(int year, unsigned month, unsigned day, int hour, int minute = 0) {
  using namespace std::chrono;
  const sys_days date =
      year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
  return date.time_since_epoch().count() * 86400 + hour * 3600 + minute * 60;
}

QuietHours Schedule(const std::string& text) {
  std::string problem;
  const std::optional<QuietHours> hours = QuietHours::Parse(text, problem);
  EXPECT_TRUE(hours) << text << ": " << problem;
  return hours.value_or(QuietHours());
}

const UtcOffsetAt kUtc = [](CalendarTime) { return std::int64_t{0}; };

// Central European time: the clocks go forward at 01:00 UTC on 2027-03-28
// (02:00 becomes 03:00) and back at 01:00 UTC on 2027-10-31 (03:00 becomes
// 02:00).
const CalendarTime kSpring = Utc(2027, 3, 28, 1);
const CalendarTime kAutumn = Utc(2027, 10, 31, 1);
const UtcOffsetAt kBerlin = [](CalendarTime utc) {
  return std::int64_t{utc >= kSpring && utc < kAutumn ? 7200 : 3600};
};

struct ParseCase {
  std::string text;
  // The schedule written back, or the problem's telling words.
  std::string expected;
  bool valid = true;
};

TEST(QuietHours, ReadsItsTextAndRefusesBadText) {
  const ParseCase cases[] = {
      {"Mon-Fri 22:00-07:00", "Mon-Fri 22:00-07:00"},
      {"sat,SUN  0:00-24:00", "Sat,Sun 00:00-24:00"},
      {"22:00-7:00", "22:00-07:00"},
      {"Fri-Mon 22:00-07:00", "Fri-Mon 22:00-07:00"},
      {"Sun,Tue 22:00-07:00", "Tue,Sun 22:00-07:00"},
      {" ; Mon,Wed-Thu 08:00-09:30 ;; Tue 12:00-13:00 ",
       "Mon,Wed,Thu 08:00-09:30; Tue 12:00-13:00"},
      {"", ""},
      {"Mon-Fry 22:00-07:00", "\"Mon-Fry\" is not a day", false},
      {"22:00", "\"22:00\" is not a time range", false},
      {"Mon 25:00-07:00", "\"25:00-07:00\" is not a time range", false},
      {"24:00-07:00", "is not a time range", false},
      {"7:0-8:00", "is not a time range", false},
      {"22:00-07:00x", "is not a time range", false},
      {"Mon 22:00-22:00", "lasts no time", false},
      {"every night 22:00-07:00", "is not a day", false},
  };
  for (const ParseCase& c : cases) {
    std::string problem;
    const std::optional<QuietHours> hours = QuietHours::Parse(c.text, problem);
    ASSERT_EQ(hours.has_value(), c.valid) << c.text;
    if (!c.valid) {
      EXPECT_NE(problem.find(c.expected), std::string::npos) << c.text << ": " << problem;
      continue;
    }
    EXPECT_EQ(hours->Text(), c.expected);
    std::string again;
    EXPECT_EQ(QuietHours::Parse(hours->Text(), again), hours) << c.text;
  }
}

struct MomentCase {
  std::string schedule;
  CalendarTime at;
  bool quiet;
  // When IsQuiet first says no from `at` on.
  std::optional<CalendarTime> ends;
};

// 2026-12-07 is a Monday.
TEST(QuietHours, SpansCrossMidnightAndTheWeekEnd) {
  const std::string nights = "Mon-Fri 22:00-07:00";
  const MomentCase cases[] = {
      {nights, Utc(2026, 12, 7, 21, 59), false, Utc(2026, 12, 7, 21, 59)},
      {nights, Utc(2026, 12, 7, 22), true, Utc(2026, 12, 8, 7)},
      {nights, Utc(2026, 12, 8, 6, 59) + 59, true, Utc(2026, 12, 8, 7)},
      {nights, Utc(2026, 12, 7, 3), false, Utc(2026, 12, 7, 3)},   // Sunday night not quiet
      {nights, Utc(2026, 12, 12, 3), true, Utc(2026, 12, 12, 7)},  // Friday night is
      {nights, Utc(2026, 12, 12, 22, 30), false, Utc(2026, 12, 12, 22, 30)},
      {"Sun 23:00-01:00", Utc(2026, 12, 13, 23, 30), true, Utc(2026, 12, 14, 1)},
      {"Sun 23:00-01:00", Utc(2026, 12, 14, 0, 30), true, Utc(2026, 12, 14, 1)},
      {"Sun 23:00-01:00", Utc(2026, 12, 12, 23, 30), false, Utc(2026, 12, 12, 23, 30)},
      // Spans that meet make one stretch.
      {"Fri 18:00-24:00; Sat,Sun 00:00-24:00", Utc(2026, 12, 11, 20), true, Utc(2026, 12, 14, 0)},
      {"00:00-24:00", Utc(2026, 12, 9, 12), true, std::nullopt},
      {"", Utc(2026, 12, 9, 12), false, Utc(2026, 12, 9, 12)},
  };
  for (const MomentCase& c : cases) {
    const QuietHours hours = Schedule(c.schedule);
    EXPECT_EQ(hours.IsQuiet(c.at, kUtc), c.quiet) << c.schedule << " at " << c.at;
    EXPECT_EQ(hours.QuietEnds(c.at, kUtc), c.ends) << c.schedule << " at " << c.at;
  }
}

// The schedule is wall-clock time: the skipped hour never comes, the
// repeated one is quiet each time the span holds it.
TEST(QuietHours, FollowsTheWallClockAcrossDaylightSaving) {
  const MomentCase cases[] = {
      // Saturday 23:00 local (+01:00) to Sunday 07:00 local (+02:00): 7 hours.
      {"22:00-07:00", Utc(2027, 3, 27, 22), true, Utc(2027, 3, 28, 5)},
      // Ending inside the skipped hour: quiet ends at the jump.
      {"22:00-02:30", Utc(2027, 3, 27, 22), true, kSpring},
      {"02:15-02:45", kSpring - 1, false, kSpring - 1},
      {"02:15-02:45", kSpring, false, kSpring},
      // Saturday 23:00 local (+02:00) to Sunday 07:00 local (+01:00): 9 hours.
      {"22:00-07:00", Utc(2027, 10, 30, 21), true, Utc(2027, 10, 31, 6)},
      // 01:00-02:30: the first 02:00-02:30 (+02:00), then again after the
      // clocks went back (+01:00).
      {"01:00-02:30", kAutumn - 3600, true, kAutumn - 1800},
      {"01:00-02:30", kAutumn - 1800, false, kAutumn - 1800},
      {"01:00-02:30", kAutumn, true, kAutumn + 1800},
  };
  for (const MomentCase& c : cases) {
    const QuietHours hours = Schedule(c.schedule);
    EXPECT_EQ(hours.IsQuiet(c.at, kBerlin), c.quiet) << c.schedule << " at " << c.at;
    EXPECT_EQ(hours.QuietEnds(c.at, kBerlin), c.ends) << c.schedule << " at " << c.at;
  }
}

}  // namespace
}  // namespace kelvoran
