#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alert/alert_channel.h"
#include "alert/alert_event.h"
#include "alert/alert_journal.h"
#include "alert/channel_sender.h"
#include "alert/dispatch_queue.h"

namespace kelvoran {

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

// How many threads attempt deliveries side by side (so one silent server
// holds back no other channel), the retry pauses, and how many alerts may
// wait: past that the oldest is given up, so a server dead for days cannot
// fill the memory.
struct DispatcherOptions {
  std::size_t threads = 4;
  RetryRule retry;
  std::size_t mostWaiting = 10'000;
};

// Delivers alerts on threads of its own. The user-interface thread (the tick)
// only hands alerts over: Raise never waits for a network, a program or the
// journal. Retries follow DispatchQueue.
class AlertDispatcher {
 public:
  // Takes up what the journal kept waiting, marked late and due at once.
  // Without a journal (no history file, or a second copy of the program)
  // the queue is kept in memory only.
  AlertDispatcher(ChannelSenders senders, SecretLookup secrets, AlertJournal* journal,
                  DispatcherOptions options = {});
  AlertDispatcher(const AlertDispatcher&) = delete;
  AlertDispatcher& operator=(const AlertDispatcher&) = delete;
  // Ends the threads: attempts in flight end within their time limits; what
  // still waits stays in the journal for the next start.
  ~AlertDispatcher();

  // The channels as defined now; alerts to a name no longer defined are
  // logged as given up. Nothing is sent before the first call.
  void SetChannels(std::vector<AlertChannel> channels);

  // Queues the event for each named channel that takes its kind (OK-again
  // only where alsoWhenOk is set).
  void Raise(const std::vector<std::string>& channels, const AlertEvent& event);

  // Logs, for each named channel that would take the event as Raise does,
  // that it was held back and why; nothing is queued or sent.
  void Hold(const std::vector<std::string>& channels, const AlertEvent& event,
            const std::string& why);

  // The "Send test alert" button: one attempt now with the given settings and
  // secret, not queued, not retried; `done` is called on a dispatcher thread.
  void SendTest(const AlertChannel& channel, const std::string& secret, const AlertEvent& event,
                std::function<void(const AttemptResult&)> done);

  // The attempts made since the last call, for the status bar, the tray and
  // an open alert log.
  std::vector<AlertLogEntry> TakeNewEntries();

  std::size_t Waiting() const;

  // Attempts per channel since the start: every channel defined, and any
  // other name an alert was attempted for, in name order. Takes the queue's
  // lock, which no attempt holds while it sends.
  struct ChannelCounts {
    std::string channel;
    std::uint64_t sent = 0;
    std::uint64_t failed = 0;
  };
  std::vector<ChannelCounts> AttemptCounts() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kelvoran
