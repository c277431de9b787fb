#include "alert/dispatch_queue.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace kelvoran {

QueueClock::duration RetryPause(std::uint32_t failedAttempts, const RetryRule& rule) {
  QueueClock::duration pause = rule.firstPause;
  for (std::uint32_t i = 1; i < failedAttempts && pause < rule.longestPause; ++i) pause *= 2;
  return std::min(pause, rule.longestPause);
}

std::uint64_t DispatchQueue::Enqueue(std::string channel, std::string host, AlertEvent alert,
                                     QueueClock::time_point now) {
  Delivery& delivery = deliveries_.emplace_back();
  delivery.id = ++lastId_;
  delivery.channel = std::move(channel);
  delivery.host = std::move(host);
  delivery.alert = std::move(alert);
  delivery.queued = delivery.due = now;
  return lastId_;
}

namespace {

using Lane = std::pair<std::string_view, std::string_view>;

struct LaneHash {
  std::size_t operator()(const Lane& lane) const {
    const std::hash<std::string_view> hash;
    return hash(lane.first) * 31 + hash(lane.second);
  }
};

// Calls `visit` for the first delivery of each lane (channel and host),
// oldest first, until it returns false: one pass however many wait, as the
// dispatcher's threads look at the queue after every attempt.
template <class Deliveries, class Visit>
void ForEachLaneHead(Deliveries& deliveries, Visit visit) {
  std::unordered_set<Lane, LaneHash> seen;
  for (auto& delivery : deliveries) {
    if (seen.emplace(delivery.channel, delivery.host).second && !visit(delivery)) return;
  }
}

}  // namespace

std::vector<Delivery> DispatchQueue::NextDue(QueueClock::time_point now, std::size_t most) {
  std::vector<Delivery> due;
  ForEachLaneHead(deliveries_, [&](Delivery& head) {
    if (due.size() == most) return false;
    if (!head.inFlight && head.due <= now) {
      head.inFlight = true;
      due.push_back(head);
    }
    return true;
  });
  return due;
}

void DispatchQueue::Report(std::uint64_t id, const AttemptResult& result,
                           QueueClock::time_point now) {
  const auto found = std::find_if(deliveries_.begin(), deliveries_.end(),
                                  [id](const Delivery& delivery) { return delivery.id == id; });
  if (found == deliveries_.end()) return;
  Delivery& delivery = *found;
  delivery.inFlight = false;
  ++delivery.attempts;
  AttemptRecord& record = LogAttempt(delivery, result, now);
  const QueueClock::time_point retry = now + RetryPause(delivery.attempts, rule_);
  const bool done = result.outcome == AttemptOutcome::Sent;
  record.givenUp = !done && (result.outcome == AttemptOutcome::Rejected ||
                             retry > delivery.queued + rule_.lifetime);
  if (done || record.givenUp) {
    deliveries_.erase(found);
  } else {
    delivery.due = retry;
    record.retryAt = retry;
  }
}

AttemptRecord& DispatchQueue::LogAttempt(const Delivery& delivery, const AttemptResult& result,
                                         QueueClock::time_point now) {
  AttemptRecord& record = log_.emplace_back();
  record.delivery = delivery.id;
  record.channel = delivery.channel;
  record.host = delivery.host;
  record.at = now;
  record.outcome = result.outcome;
  record.text = result.text;
  return record;
}

bool DispatchQueue::GiveUpOldest(const std::string& why, QueueClock::time_point now) {
  const auto oldest = std::find_if(deliveries_.begin(), deliveries_.end(),
                                   [](const Delivery& delivery) { return !delivery.inFlight; });
  if (oldest == deliveries_.end()) return false;
  LogAttempt(*oldest, {AttemptOutcome::Failed, why}, now).givenUp = true;
  deliveries_.erase(oldest);
  return true;
}

std::optional<QueueClock::time_point> DispatchQueue::NextWake() const {
  std::optional<QueueClock::time_point> wake;
  ForEachLaneHead(deliveries_, [&](const Delivery& head) {
    if (!head.inFlight && (!wake || head.due < *wake)) wake = head.due;
    return true;
  });
  return wake;
}

std::vector<AttemptRecord> DispatchQueue::TakeLog() { return std::exchange(log_, {}); }

}  // namespace kelvoran
