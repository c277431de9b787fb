#include "alert/alert_pacer.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "alert/alert_template.h"
#include "engine/host_record.h"
#include "engine/host_rows.h"

namespace kelvoran {
namespace {

constexpr CalendarTime kSecondsPerDay = 24 * 60 * 60;

bool TakesKind(const AlertChannel& channel, AlertKind kind) {
  return kind == AlertKind::Down || channel.alsoWhenOk;
}

bool Reminds(const AlertChannel& channel) {
  return channel.reminderMinutes > 0 && channel.mostReminders > 0;
}

// "07:00", or "Mon 07:00" a day or more ahead.
std::string EndText(const LocalMoment& end, CalendarTime from) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const LocalClockReading clock = ReadLocalClock(end);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", clock.hours, clock.minutes);
  if (end.utc - from < kSecondsPerDay) return text;
  return std::string(kDays[clock.weekday.c_encoding()]) + " " + text;
}

}  // namespace

// Reminders are due only every few minutes: one pass over the list for all
// those due in a tick is cheaper than keeping an index of names up to date.
std::unordered_set<std::string> HostsInOutage(HostRows& rows) {
  std::unordered_set<std::string> names;
  for (int row = 0; row < rows.RowCount(); ++row) {
    const HostRecord& record = rows.RecordAt(row);
    if (record.Status != StatusOk) names.insert(record.Host);
  }
  return names;
}

AlertPacer::Environment AlertPacer::Watching(HostRows* const& hosts, UtcOffsetAt utcOffset) {
  return {.utcOffset = std::move(utcOffset),
          .now = [] { return CalendarTime{std::time(nullptr)}; },
          .hostsInOutage = [&hosts]() -> std::optional<std::unordered_set<std::string>> {
            if (!hosts) return std::nullopt;
            return HostsInOutage(*hosts);
          }};
}

AlertPacer::AlertPacer(Hand hand, Hold hold, Environment environment)
    : hand_(std::move(hand)), hold_(std::move(hold)), environment_(std::move(environment)) {}

void AlertPacer::SetChannels(const std::vector<AlertChannel>& channels) {
  channels_.clear();
  for (const AlertChannel& channel : channels) channels_.insert_or_assign(channel.name, channel);
  std::erase_if(kept_, [&](const Kept& kept) { return !Find(kept.channel); });
  std::erase_if(reminders_, [&](const auto& reminder) {
    const AlertChannel* channel = Find(reminder.first.first);
    return !channel || !Reminds(*channel);
  });
}

const AlertChannel* AlertPacer::Find(const std::string& name) const {
  const auto found = channels_.find(name);
  return found == channels_.end() ? nullptr : &found->second;
}

std::string AlertPacer::QuietWhy(const AlertChannel& channel, CalendarTime at) const {
  const std::optional<CalendarTime> end = channel.quietHours.QuietEnds(at, environment_.utcOffset);
  std::string why = "quiet hours";
  if (end) {
    const LocalMoment local{*end, static_cast<std::int32_t>(environment_.utcOffset(*end))};
    why += " until " + EndText(local, at);
  }
  if (channel.sendHeldLater && end) why += "; sent then";
  return why;
}

void AlertPacer::Deliver(const AlertChannel& channel, const AlertEvent& event) {
  const CalendarTime at = event.time.utc;
  if (!channel.quietHours.IsQuiet(at, environment_.utcOffset)) {
    hand_({channel.name}, event);
    return;
  }
  hold_({channel.name}, event, QuietWhy(channel, at));
  if (channel.sendHeldLater && TakesKind(channel, event.kind))
    kept_.push_back({channel.name, event});
}

std::optional<AlertEvent> AlertPacer::DropKeptDown(const std::string& channel,
                                                   const AlertEvent& okAgain) {
  const auto found = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& kept) {
    return kept.channel == channel && kept.event.kind == AlertKind::Down &&
           kept.event.host == okAgain.host && kept.event.outageStart == okAgain.outageStart;
  });
  if (found == kept_.end()) return std::nullopt;
  AlertEvent down = std::move(found->event);
  kept_.erase(found);
  return down;
}

void AlertPacer::Raise(const std::vector<std::string>& channels, const AlertEvent& event) {
  for (const std::string& name : channels) {
    const AlertChannel* channel = Find(name);
    // A name no longer defined: the dispatcher logs it.
    if (!channel) {
      hand_({name}, event);
      continue;
    }
    const Key key{name, event.host};
    if (event.kind == AlertKind::OkAgain) {
      reminders_.erase(key);
      // Logged once: on the OK-again where the channel takes it, else on
      // the down alert, whose "held" line promised it for later.
      if (const std::optional<AlertEvent> down = DropKeptDown(name, event)) {
        hold_({name}, channel->alsoWhenOk ? event : *down,
              "OK again within quiet hours: neither the down nor the OK-again alert is sent");
        continue;
      }
    }
    Deliver(*channel, event);
    if (event.kind == AlertKind::Down && Reminds(*channel))
      reminders_.insert_or_assign(
          key, Reminder{event, 0, event.time.utc + CalendarTime{channel->reminderMinutes} * 60});
  }
}

void AlertPacer::Tick(CalendarTime now) {
  ReleaseKept(now);
  Remind(now);
}

void AlertPacer::ReleaseKept(CalendarTime now) {
  std::erase_if(kept_, [&](Kept& kept) {
    const AlertChannel* channel = Find(kept.channel);
    if (channel->quietHours.IsQuiet(now, environment_.utcOffset)) return false;
    kept.event.keptInQuietHours = true;
    hand_({kept.channel}, kept.event);
    if (const auto reminder = reminders_.find({kept.channel, kept.event.host});
        reminder != reminders_.end())
      reminder->second.due = now + CalendarTime{channel->reminderMinutes} * 60;
    return true;
  });
}

void AlertPacer::Remind(CalendarTime now) {
  // Asked once a tick, and only when a reminder is due.
  std::optional<std::optional<std::unordered_set<std::string>>> inOutage;
  const auto outageGoesOn = [&](const std::string& host) {
    if (!inOutage) inOutage = environment_.hostsInOutage();
    return !*inOutage || (*inOutage)->contains(host);
  };
  for (auto it = reminders_.begin(); it != reminders_.end();) {
    Reminder& reminder = it->second;
    if (reminder.due > now) {
      ++it;
      continue;
    }
    const AlertChannel& channel = *Find(it->first.first);
    if (!outageGoesOn(reminder.down.host)) {
      it = reminders_.erase(it);
      continue;
    }
    if (channel.quietHours.IsQuiet(now, environment_.utcOffset)) {
      const std::optional<CalendarTime> end =
          channel.quietHours.QuietEnds(now, environment_.utcOffset);
      // Quiet all week: no reminder can ever go.
      if (!end) {
        it = reminders_.erase(it);
        continue;
      }
      reminder.due = *end;
      ++it;
      continue;
    }
    AlertEvent event = reminder.down;
    event.reminder = ++reminder.sent;
    event.reminders = static_cast<std::uint32_t>(channel.mostReminders);
    event.time = {now, static_cast<std::int32_t>(environment_.utcOffset(now))};
    event.outageSeconds = now - event.outageStart.utc;
    hand_({channel.name}, event);
    reminder.due = now + CalendarTime{channel.reminderMinutes} * 60;
    it = reminder.sent >= event.reminders ? reminders_.erase(it) : std::next(it);
  }
}

}  // namespace kelvoran
