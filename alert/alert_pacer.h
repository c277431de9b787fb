#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "alert/alert_channel.h"
#include "alert/alert_event.h"
#include "engine/result_sink.h"

namespace kelvoran {

// Stands between the raiser and the dispatcher and keeps each channel's
// timing: its quiet hours and its reminders. Everything runs on the
// user-interface thread; time moves on with the tick (TickEnded), there is no
// thread of its own.
//
// Quiet hours: an alert for a channel in its quiet hours is logged as held,
// with when they end. Where the channel sends held alerts later, the alert is
// kept (in memory: a restart meanwhile loses it, its "held" line stays) and
// handed on at the first tick after they end. An OK-again that finds its
// host's down alert still kept drops both, logged as held: an outage that
// began and ended in the night is not news in the morning.
//
// Reminders: after a down alert, the channel gets it again every so many
// minutes, at most so many times, while the outage goes on: until the host's
// OK-again, the host leaves the list or the channel is removed. A reminder
// due in quiet hours waits for their end, unlogged; the release of a kept
// down alert starts the count of minutes again.
class HostRows;

// The names of the list's hosts that are not OK: their outages go on.
std::unordered_set<std::string> HostsInOutage(HostRows& rows);

class AlertPacer final : public ResultSink {
 public:
  using Hand = std::function<void(const std::vector<std::string>& channels, const AlertEvent&)>;
  using Hold = std::function<void(const std::vector<std::string>& channels, const AlertEvent&,
                                  const std::string& why)>;
  struct Environment {
    UtcOffsetAt utcOffset = [](CalendarTime) { return 0; };
    std::function<CalendarTime()> now = [] { return CalendarTime{0}; };
    // The names of the hosts still in the list and not OK; none while no
    // list is known, and then every outage goes on.
    std::function<std::optional<std::unordered_set<std::string>>()> hostsInOutage = [] {
      return std::nullopt;
    };
  };

  // The program's: the system clock, and the list `hosts` points to once it
  // is set (until then every outage goes on).
  static Environment Watching(HostRows* const& hosts, UtcOffsetAt utcOffset);

  // `hand` queues alerts (AlertDispatcher::Raise), `hold` logs them as held
  // (AlertDispatcher::Hold).
  AlertPacer(Hand hand, Hold hold, Environment environment);

  void SetChannels(const std::vector<AlertChannel>& channels);
  // For the raiser: the event for the named channels, at event.time.
  void Raise(const std::vector<std::string>& channels, const AlertEvent& event);
  // Sends what is due at `now`: kept alerts whose quiet hours ended, and
  // reminders.
  void Tick(CalendarTime now);

  void ResultApplied(const HostRecord&, const ProbeResult&, std::int32_t) override {}
  void TickEnded() override { Tick(environment_.now()); }

  std::size_t KeptCount() const { return kept_.size(); }
  std::size_t ReminderCount() const { return reminders_.size(); }

 private:
  // Channel and host.
  using Key = std::pair<std::string, std::string>;
  struct Reminder {
    AlertEvent down;
    std::uint32_t sent = 0;
    CalendarTime due = 0;
  };
  struct Kept {
    std::string channel;
    AlertEvent event;
  };

  const AlertChannel* Find(const std::string& name) const;
  void Deliver(const AlertChannel& channel, const AlertEvent& event);
  // The kept down alert of the OK-again's outage, taken out.
  std::optional<AlertEvent> DropKeptDown(const std::string& channel, const AlertEvent& okAgain);
  void ReleaseKept(CalendarTime now);
  void Remind(CalendarTime now);
  std::string QuietWhy(const AlertChannel& channel, CalendarTime at) const;

  Hand hand_;
  Hold hold_;
  Environment environment_;
  std::unordered_map<std::string, AlertChannel> channels_;
  std::vector<Kept> kept_;
  std::map<Key, Reminder> reminders_;
};

}  // namespace kelvoran
