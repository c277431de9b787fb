#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "alert/alert_event.h"
#include "alert/dispatch_queue.h"
#include "engine/calendar_time.h"

namespace kelvoran {

// One attempt as it is kept and shown: the queue's record with the wall-clock
// times the log displays, and whether the alert was raised before the
// program last stopped.
struct AlertLogEntry {
  CalendarTime at = 0;
  std::string channel;
  std::string host;
  AlertKind kind = AlertKind::Down;
  AttemptOutcome outcome = AttemptOutcome::Sent;
  std::string text;
  std::optional<CalendarTime> retryAt;
  bool givenUp = false;
  bool late = false;
  // The outage the alert is about (its start), to show it with the outage.
  LocalMoment outageStart;
  bool operator==(const AlertLogEntry&) const = default;
};

// An alert waiting for one channel, as the journal keeps it.
struct WaitingAlert {
  std::uint64_t id = 0;
  std::string channel;
  AlertEvent alert;
  bool operator==(const WaitingAlert&) const = default;
};

// Where the queue and the log are kept (the history file). Called on the
// dispatcher's threads; must not wait for the user-interface thread.
class AlertJournal {
 public:
  virtual ~AlertJournal() = default;
  // An alert entered the queue: kept until Finished is called for it.
  virtual void Queued(std::uint64_t id, const std::string& channel, const AlertEvent& alert) = 0;
  virtual void Attempted(const AlertLogEntry& entry) = 0;
  // Sent or given up: no longer waits.
  virtual void Finished(std::uint64_t id) = 0;
  // What waited when the program last stopped, oldest first.
  using Waiting = WaitingAlert;
  virtual std::vector<Waiting> Unfinished() = 0;
};

// One of the journal's calls, kept to be made later in the same order: the
// dispatcher makes them off its lock, the history writes them with its next
// commit.
struct AlertFinished {
  std::uint64_t id = 0;
};
using AlertJournalCall = std::variant<WaitingAlert, AlertLogEntry, AlertFinished>;

inline void MakeCall(AlertJournal& journal, const AlertJournalCall& call) {
  if (const auto* queued = std::get_if<WaitingAlert>(&call))
    journal.Queued(queued->id, queued->channel, queued->alert);
  else if (const auto* entry = std::get_if<AlertLogEntry>(&call))
    journal.Attempted(*entry);
  else
    journal.Finished(std::get<AlertFinished>(call).id);
}

}  // namespace kelvoran
