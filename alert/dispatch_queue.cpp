#include "alert/dispatch_queue.h"

#include <algorithm>
#include <utility>

namespace kelvoran {

std::chrono::seconds RetryPause(std::uint32_t failedAttempts) {
  std::chrono::seconds pause = FirstRetryPause;
  for (std::uint32_t i = 1; i < failedAttempts && pause < LongestRetryPause; ++i) pause *= 2;
  return std::min(pause, LongestRetryPause);
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

bool DispatchQueue::FirstOfItsLane(const Delivery& delivery) const {
  return std::find_if(deliveries_.begin(), deliveries_.end(), [&](const Delivery& other) {
           return other.channel == delivery.channel && other.host == delivery.host;
         })->id == delivery.id;
}

std::vector<Delivery> DispatchQueue::NextDue(QueueClock::time_point now) {
  std::vector<Delivery> due;
  for (Delivery& delivery : deliveries_) {
    if (!delivery.inFlight && delivery.due <= now && FirstOfItsLane(delivery)) {
      delivery.inFlight = true;
      due.push_back(delivery);
    }
  }
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
  AttemptRecord& record = log_.emplace_back();
  record.delivery = id;
  record.channel = delivery.channel;
  record.host = delivery.host;
  record.at = now;
  record.outcome = result.outcome;
  record.text = result.text;
  const QueueClock::time_point retry = now + RetryPause(delivery.attempts);
  const bool done = result.outcome == AttemptOutcome::Sent;
  record.givenUp = !done && (result.outcome == AttemptOutcome::Rejected ||
                             retry > delivery.queued + DeliveryLifetime);
  if (done || record.givenUp) {
    deliveries_.erase(found);
  } else {
    delivery.due = retry;
    record.retryAt = retry;
  }
}

std::optional<QueueClock::time_point> DispatchQueue::NextWake() const {
  std::optional<QueueClock::time_point> wake;
  for (const Delivery& delivery : deliveries_) {
    if (!delivery.inFlight && FirstOfItsLane(delivery) && (!wake || delivery.due < *wake)) {
      wake = delivery.due;
    }
  }
  return wake;
}

std::vector<AttemptRecord> DispatchQueue::TakeLog() { return std::exchange(log_, {}); }

}  // namespace kelvoran
