#pragma once

#include <atomic>
#include <string>

#include "alert/alert_channel.h"
#include "alert/alert_event.h"
#include "alert/dispatch_queue.h"

namespace kelvoran {

// Delivers one alert through one kind of channel. Called on the dispatcher's
// threads, never on the user-interface thread; must come back within the
// channel's time limits (connectSeconds, totalSeconds) whatever the far side
// does. The outcome says whether a later attempt could do better:
// Sent, Failed or TimedOut (retried), Rejected (given up at once: a wrong
// password, a refused recipient, an HTTP 4xx, a program that cannot start).
class ChannelSender {
 public:
  virtual ~ChannelSender() = default;
  virtual AttemptResult Send(const AlertChannel& channel, const AlertEvent& alert,
                             const std::string& secret) = 0;

  // The program is closing: a network attempt under way gives up within a
  // second instead of waiting out its time limit, so closing never hangs on
  // a silent server. The alert stays queued for the next start.
  void StopAttempts() { stopping_ = true; }
  const std::atomic<bool>& Stopping() const { return stopping_; }

 private:
  std::atomic<bool> stopping_{false};
};

}  // namespace kelvoran
