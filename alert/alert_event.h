#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/calendar_time.h"

namespace kelvoran {

enum class AlertKind { Down, OkAgain };

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
  // The host row's error text; empty when the last probe succeeded.
  std::string error;
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
