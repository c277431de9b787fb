#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/calendar_time.h"

namespace kelvoran {

// Stored as integers: new kinds go at the end.
enum class AlertKind { Down, OkAgain, Slow, Lossy, Jittery, SlowEnded, LossyEnded, JitteryEnded };

// OK again, or a quality rule back to normal: sent only to channels that also
// want to hear when things are well again.
constexpr bool IsBackToNormal(AlertKind kind) {
  return kind == AlertKind::OkAgain || kind >= AlertKind::SlowEnded;
}
constexpr bool IsQualityKind(AlertKind kind) { return kind >= AlertKind::Slow; }

// For the alert log: "down", "OK again", "slow", "no longer slow", ...
constexpr const char* AlertKindText(AlertKind kind) {
  switch (kind) {
    case AlertKind::Down:
      return "down";
    case AlertKind::OkAgain:
      return "OK again";
    case AlertKind::Slow:
      return "slow";
    case AlertKind::Lossy:
      return "lossy";
    case AlertKind::Jittery:
      return "jittery";
    case AlertKind::SlowEnded:
      return "no longer slow";
    case AlertKind::LossyEnded:
      return "no longer lossy";
    case AlertKind::JitteryEnded:
      return "no longer jittery";
  }
  return "";
}

// A moment as the monitoring computer's clock showed it. The offset from UTC
// comes with it, taken when the moment was recorded, so that rendering needs
// no time-zone lookups and an outage across a daylight-saving change still
// shows both ends right.
struct LocalMoment {
  CalendarTime utc = 0;
  std::int32_t utcOffsetSeconds = 0;
  bool operator==(const LocalMoment&) const = default;
};

// Everything an alert can say about a host, captured when the alert is raised
// so that a delivery retried hours later still tells what happened then.
struct AlertEvent {
  AlertKind kind = AlertKind::Down;
  std::string host;
  std::string description;
  std::string status;
  std::string previousStatus;
  // The host row's error text; empty when the last probe succeeded. For a
  // quality alert, what the rule saw ("slow: median 912 ms over 20 probes ...").
  std::string error;
  // For a quality alert: when the rule was raised, and for how long.
  LocalMoment outageStart;
  CalendarTime outageSeconds = 0;
  // Milliseconds; none while no reply has come.
  std::optional<std::uint32_t> roundTripMs;
  // Percent of the last 100 probes (fewer right after start) that failed.
  std::uint32_t lossPercent = 0;
  LocalMoment time;
  std::string computer;
  // A reminder of a down alert while the outage goes on: its number and the
  // most the channel sends; both 0 for the alert itself.
  std::uint32_t reminder = 0;
  std::uint32_t reminders = 0;
  // Held in the channel's quiet hours and sent when they ended.
  bool keptInQuietHours = false;
  bool operator==(const AlertEvent&) const = default;
};

}  // namespace kelvoran
