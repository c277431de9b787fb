#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alert/alert_channel.h"
#include "alert/alert_event.h"
#include "alert/channel_sender.h"
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
  struct Waiting {
    std::uint64_t id;
    std::string channel;
    AlertEvent alert;
  };
  virtual std::vector<Waiting> Unfinished() = 0;
};

// The channel senders, one per kind; any may be null (the kind then fails
// with a clear text).
struct ChannelSenders {
  ChannelSender* email = nullptr;
  ChannelSender* webhook = nullptr;
  ChannelSender* program = nullptr;
  ChannelSender* sound = nullptr;
};

// Reads a channel's secret; called on the dispatcher's threads at the moment
// of sending, so a changed password is used from the next attempt.
using SecretLookup = std::function<std::string(const std::string& channel)>;

// Delivers alerts on threads of its own. The user-interface thread (the tick)
// only hands alerts over: Raise never waits for a network, a program or the
// journal. Retries follow DispatchQueue.
class AlertDispatcher {
 public:
  AlertDispatcher(ChannelSenders senders, SecretLookup secrets, AlertJournal* journal);
  // Ends the threads: attempts in flight end within their time limits; what
  // still waits stays in the journal for the next start.
  ~AlertDispatcher();

  // The channels as defined now; alerts to a name no longer defined are
  // logged as given up.
  void SetChannels(std::vector<AlertChannel> channels);

  // Queues the event for each named channel that takes its kind (OK-again
  // only where alsoWhenOk is set).
  void Raise(const std::vector<std::string>& channels, const AlertEvent& event);

  // The "Send test alert" button: one attempt now with the given settings and
  // secret, not queued, not retried; `done` is called on a dispatcher thread.
  void SendTest(const AlertChannel& channel, const std::string& secret, const AlertEvent& event,
                std::function<void(const AttemptResult&)> done);

  // The attempts made since the last call, for the status bar, the tray and
  // an open alert log.
  std::vector<AlertLogEntry> TakeNewEntries();

  std::size_t Waiting() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kelvoran
