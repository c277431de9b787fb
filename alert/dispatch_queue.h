#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "alert/alert_event.h"

namespace kelvoran {

// Retries are timed on a steady clock, so that setting the wall clock neither
// floods a server nor holds an alert back for hours.
using QueueClock = std::chrono::steady_clock;

// Pauses after each failed attempt: 30 s, doubling up to 30 min.
inline constexpr std::chrono::seconds FirstRetryPause{30};
inline constexpr std::chrono::seconds LongestRetryPause{30 * 60};
// An alert that could not be delivered in a day is stale: given up.
inline constexpr std::chrono::hours DeliveryLifetime{24};

// The pauses and the lifetime, replaceable so that a test of real threads
// sees a retry within milliseconds.
struct RetryRule {
  QueueClock::duration firstPause = FirstRetryPause;
  QueueClock::duration longestPause = LongestRetryPause;
  QueueClock::duration lifetime = DeliveryLifetime;
};

// One alert on its way to one channel.
struct Delivery {
  std::uint64_t id = 0;
  std::string channel;
  std::string host;
  AlertEvent alert;
  QueueClock::time_point queued;
  QueueClock::time_point due;
  std::uint32_t attempts = 0;
  bool inFlight = false;
};

// Failed and TimedOut are tried again after a pause; Rejected is an answer
// that will not change (a wrong password, a refused recipient, an HTTP 4xx):
// given up at once. Held is no attempt: the alert was kept back on purpose
// (a muted host, a channel's quiet hours) and the log says why. The values
// are stored in the history file: new ones go at the end.
enum class AttemptOutcome { Sent, Failed, TimedOut, Rejected, Held };

// What a channel reports after an attempt; text is the server's answer or
// the error, as the operator should read it.
struct AttemptResult {
  AttemptOutcome outcome = AttemptOutcome::Sent;
  std::string text;
};

// One attempt as the log shows it: what came of it, then either when the
// next attempt is due or that the alert was given up.
struct AttemptRecord {
  std::uint64_t delivery = 0;
  std::string channel;
  std::string host;
  QueueClock::time_point at;
  AttemptOutcome outcome = AttemptOutcome::Sent;
  std::string text;
  std::optional<QueueClock::time_point> retryAt;
  bool givenUp = false;
};

// The delivery queue's bookkeeping, without threads or clocks of its own: the
// caller passes the time to every call. Alerts of one host to one channel go
// in the order they were raised, so "OK again" never arrives before "down";
// different hosts and channels do not wait for each other.
class DispatchQueue {
 public:
  explicit DispatchQueue(RetryRule rule = {}) : rule_(rule) {}

  // Ids handed out from now on are above `id`: the journal keeps those of
  // alerts left waiting by an earlier run.
  void IdsAbove(std::uint64_t id) { lastId_ = std::max(lastId_, id); }

  std::uint64_t Enqueue(std::string channel, std::string host, AlertEvent alert,
                        QueueClock::time_point now);

  // The deliveries to attempt now, at most `most`, each marked in flight
  // until Report.
  std::vector<Delivery> NextDue(QueueClock::time_point now, std::size_t most = SIZE_MAX);

  // Records how the attempt went; a failure is retried after a pause or,
  // past the lifetime, given up.
  void Report(std::uint64_t id, const AttemptResult& result, QueueClock::time_point now);

  // When NextDue will next have something, if anything waits.
  std::optional<QueueClock::time_point> NextWake() const;

  std::size_t Waiting() const { return deliveries_.size(); }

  // Gives up the oldest delivery not in flight, logged with `why`; false
  // when every one is in flight.
  bool GiveUpOldest(const std::string& why, QueueClock::time_point now);

  // The attempts recorded since the last call.
  std::vector<AttemptRecord> TakeLog();

 private:
  AttemptRecord& LogAttempt(const Delivery& delivery, const AttemptResult& result,
                            QueueClock::time_point now);

  RetryRule rule_;
  std::deque<Delivery> deliveries_;
  std::vector<AttemptRecord> log_;
  std::uint64_t lastId_ = 0;
};

// The pause after the given number of failed attempts (1 or more).
QueueClock::duration RetryPause(std::uint32_t failedAttempts, const RetryRule& rule = {});

}  // namespace kelvoran
