#include "alert/alert_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "alert/alert_dispatcher.h"
#include "dispatcher_fakes.h"

namespace kelvoran {
namespace {

// Monday 2026-12-07 00:00 UTC; the tests' clock is UTC.
constexpr CalendarTime kMonday = 1'796'601'600;
constexpr CalendarTime kMinute = 60;
constexpr CalendarTime kHour = 3600;

AlertChannel Channel(const std::string& name, const std::string& quiet = "") {
  AlertChannel channel = testing::Webhook(name, true);
  std::string problem;
  channel.quietHours = QuietHours::Parse(quiet, problem).value();
  return channel;
}

AlertEvent At(CalendarTime at, AlertKind kind = AlertKind::Down, const std::string& host = "gw",
              CalendarTime outageStart = kMonday + 3 * kHour) {
  AlertEvent event = testing::Event(host, kind);
  event.outageStart = {outageStart, 0};
  event.time = {at, 0};
  return event;
}

// What the pacer handed on and held, as "at channel host kind[ note]".
struct Recorder {
  std::vector<std::string> lines;
  std::set<std::string> hostsDown = {"gw"};
  CalendarTime now = 0;

  void Add(const std::string& what, const std::vector<std::string>& channels, const AlertEvent& e,
           const std::string& why) {
    for (const std::string& channel : channels) {
      std::string line = std::to_string((now - kMonday) / kMinute) + " " + what + " " + channel +
                         " " + e.host + (e.kind == AlertKind::Down ? " down" : " ok");
      if (e.reminder) line += " " + std::to_string(e.reminder) + "/" + std::to_string(e.reminders);
      if (e.keptInQuietHours) line += " kept";
      if (!why.empty()) line += ": " + why;
      lines.push_back(line);
    }
  }
  AlertPacer Pacer() {
    return AlertPacer([this](const auto& c, const AlertEvent& e) { Add("sent", c, e, ""); },
                      [this](const auto& c, const AlertEvent& e, const std::string& why) {
                        Add("held", c, e, why);
                      },
                      {.utcOffset = [](CalendarTime) { return std::int64_t{0}; },
                       .now = [this] { return now; },
                       .hostsInOutage =
                           [this] {
                             return std::optional(std::unordered_set<std::string>(hostsDown.begin(),
                                                                                  hostsDown.end()));
                           }});
  }
  // Ticks once a minute from `from` to `to`, both included.
  void Run(AlertPacer& pacer, CalendarTime from, CalendarTime to) {
    for (now = from; now <= to; now += kMinute) pacer.TickEnded();
  }
};

using Lines = std::vector<std::string>;

TEST(AlertPacer, HoldsInQuietHoursAndSendsTheKeptOnesWhenTheyEnd) {
  struct Case {
    std::string name;
    bool sendHeldLater;
    // Minutes after Monday 03:00 the host is OK again; none: stays down.
    std::optional<CalendarTime> okAfter;
    Lines expected;
    bool alsoWhenOk = true;
  };
  const Case cases[] = {
      {"kept, sent at 07:00",
       true,
       std::nullopt,
       {"180 held night gw down: quiet hours until 07:00; sent then", "180 sent day gw down",
        "420 sent night gw down kept"}},
      {"only held",
       false,
       std::nullopt,
       {"180 held night gw down: quiet hours until 07:00", "180 sent day gw down"}},
      {"a blip in the night: neither sent",
       true,
       10,
       {"180 held night gw down: quiet hours until 07:00; sent then", "180 sent day gw down",
        "190 held night gw ok: OK again within quiet hours: neither the down nor the OK-again "
        "alert is sent",
        "190 sent day gw ok"}},
      {"a blip, and the channel takes no OK-again: the down's line says it",
       true,
       10,
       {"180 held night gw down: quiet hours until 07:00; sent then", "180 sent day gw down",
        "190 held night gw down: OK again within quiet hours: neither the down nor the OK-again "
        "alert is sent",
        "190 sent day gw ok"},
       false},
      {"OK again after 07:00: both sent",
       true,
       300,
       {"180 held night gw down: quiet hours until 07:00; sent then", "180 sent day gw down",
        "420 sent night gw down kept", "480 sent night gw ok", "480 sent day gw ok"}},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    AlertPacer pacer = recorder.Pacer();
    AlertChannel night = Channel("night", "Sun-Thu 22:00-07:00; Sat 00:00-24:00");
    night.sendHeldLater = c.sendHeldLater;
    night.alsoWhenOk = c.alsoWhenOk;
    pacer.SetChannels({night, Channel("day")});
    const CalendarTime down = kMonday + 3 * kHour;
    recorder.now = down;
    pacer.Raise({"night", "day"}, At(down));
    const CalendarTime ok = c.okAfter ? down + *c.okAfter * kMinute : kMonday + 12 * kHour;
    recorder.Run(pacer, down, ok - kMinute);
    recorder.now = ok;
    if (c.okAfter) pacer.Raise({"night", "day"}, At(ok, AlertKind::OkAgain));
    recorder.Run(pacer, ok, kMonday + 12 * kHour);
    EXPECT_EQ(recorder.lines, c.expected) << c.name;
    EXPECT_EQ(pacer.KeptCount(), 0u) << c.name;
  }
}

TEST(AlertPacer, RemindersAreBoundedAndStopWithTheOutage) {
  struct Case {
    std::string name;
    std::string quiet;
    // What ends the outage, this many minutes after it began: "ok",
    // "deleted", "removed" (the channel), or nothing.
    std::string end;
    CalendarTime endAfter;
    Lines expected;
  };
  const Case cases[] = {
      {"at most 3",
       "",
       "",
       0,
       {"0 sent ch gw down", "10 sent ch gw down 1/3", "20 sent ch gw down 2/3",
        "30 sent ch gw down 3/3"}},
      {"OK again",
       "",
       "ok",
       15,
       {"0 sent ch gw down", "10 sent ch gw down 1/3", "15 sent ch gw ok"}},
      {"host deleted", "", "deleted", 15, {"0 sent ch gw down", "10 sent ch gw down 1/3"}},
      {"channel removed", "", "removed", 15, {"0 sent ch gw down", "10 sent ch gw down 1/3"}},
      // Down at 00:00, quiet 00:05-01:00: the first reminder waits for 01:00.
      {"quiet hours",
       "00:05-01:00",
       "",
       0,
       {"0 sent ch gw down", "60 sent ch gw down 1/3", "70 sent ch gw down 2/3",
        "80 sent ch gw down 3/3"}},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    AlertPacer pacer = recorder.Pacer();
    AlertChannel channel = Channel("ch", c.quiet);
    channel.reminderMinutes = 10;
    channel.mostReminders = 3;
    pacer.SetChannels({channel});
    recorder.now = kMonday;
    pacer.Raise({"ch"}, At(kMonday, AlertKind::Down, "gw", kMonday));
    const CalendarTime end = kMonday + c.endAfter * kMinute;
    if (!c.end.empty()) recorder.Run(pacer, kMonday, end);
    recorder.now = end;
    if (c.end == "ok") pacer.Raise({"ch"}, At(end, AlertKind::OkAgain, "gw", kMonday));
    if (c.end == "deleted") recorder.hostsDown.clear();
    if (c.end == "removed") pacer.SetChannels({});
    recorder.Run(pacer, end, kMonday + 3 * kHour);
    EXPECT_EQ(recorder.lines, c.expected) << c.name;
    EXPECT_EQ(pacer.ReminderCount(), 0u) << c.name;
  }
}

// The pacer in front of the real dispatcher: the alert log says what was
// held and why, and which line is a kept alert or a reminder.
TEST(AlertPacer, TheAlertLogTellsHeldKeptAndReminders) {
  testing::ScriptedSender sender([](const AlertChannel&, const AlertEvent&) {
    return AttemptResult{AttemptOutcome::Sent, "200 OK"};
  });
  AlertDispatcher dispatcher({.webhook = &sender}, {}, nullptr, testing::QuickRetries());
  AlertChannel channel = Channel("night", "22:00-07:00");
  channel.sendHeldLater = true;
  channel.reminderMinutes = 30;
  channel.mostReminders = 2;
  dispatcher.SetChannels({channel});
  AlertPacer pacer([&](const auto& c, const AlertEvent& e) { dispatcher.Raise(c, e); },
                   [&](const auto& c, const AlertEvent& e, const std::string& why) {
                     dispatcher.Hold(c, e, why);
                   },
                   {});
  pacer.SetChannels({channel});
  pacer.Raise({"night"}, At(kMonday + 6 * kHour));
  for (CalendarTime now = kMonday + 6 * kHour; now <= kMonday + 9 * kHour; now += kMinute)
    pacer.Tick(now);
  std::vector<std::string> texts;
  for (const AlertLogEntry& entry : testing::EntriesUntil(dispatcher, 4))
    texts.push_back(entry.text);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"200 OK (held in quiet hours)",
                                             "200 OK (reminder 1 of 2)", "200 OK (reminder 2 of 2)",
                                             "quiet hours until 07:00; sent then"}));
}

}  // namespace
}  // namespace kelvoran
