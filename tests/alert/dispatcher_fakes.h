#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alert/alert_dispatcher.h"

namespace kelvoran::testing {

// A channel sender that answers as the test scripts and remembers each
// attempt as "channel host kind", the kind as the alert log writes it.
class ScriptedSender final : public ChannelSender {
 public:
  using Answer = std::function<AttemptResult(const AlertChannel&, const AlertEvent&)>;
  explicit ScriptedSender(Answer answer) : answer_(std::move(answer)) {}

  AttemptResult Send(const AlertChannel& channel, const AlertEvent& alert,
                     const std::string& secret) override {
    {
      const std::lock_guard lock(mutex_);
      calls_.push_back(channel.name + " " + alert.host + " " + AlertKindText(alert.kind));
      secrets_.push_back(secret);
    }
    return answer_(channel, alert);
  }
  std::vector<std::string> Calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> Secrets() const {
    const std::lock_guard lock(mutex_);
    return secrets_;
  }

 private:
  Answer answer_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<std::string> secrets_;
};

// Retries within milliseconds, so that real threads are tested in real time.
inline DispatcherOptions QuickRetries() {
  DispatcherOptions options;
  options.retry.firstPause = std::chrono::milliseconds(20);
  options.retry.longestPause = std::chrono::milliseconds(40);
  return options;
}

inline AlertChannel Webhook(const std::string& name, bool alsoWhenOk = false) {
  AlertChannel channel;
  channel.name = name;
  channel.kind = ChannelKind::Webhook;
  channel.alsoWhenOk = alsoWhenOk;
  return channel;
}

inline AlertEvent Event(const std::string& host, AlertKind kind = AlertKind::Down) {
  AlertEvent event;
  event.host = host;
  event.kind = kind;
  event.outageStart = {1'800'000'000, 3600};
  return event;
}

// The dispatcher's log entries until `count` have come, or 10 s have passed.
inline std::vector<AlertLogEntry> EntriesUntil(AlertDispatcher& dispatcher, std::size_t count) {
  std::vector<AlertLogEntry> entries;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (entries.size() < count && std::chrono::steady_clock::now() < end) {
    for (AlertLogEntry& entry : dispatcher.TakeNewEntries()) entries.push_back(std::move(entry));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return entries;
}

}  // namespace kelvoran::testing
