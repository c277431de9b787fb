#pragma once

#include <memory>
#include <string>
#include <vector>

#include "alert/alert_channel.h"
#include "alert/alert_dispatcher.h"
#include "alert/alert_pacer.h"
#include "alert/alert_raiser.h"

namespace kelvoran {

class HostRows;

// The way from a host's changes to the people told, as both the window and
// the headless monitor run it: the raiser makes alerts of the edges, the
// pacer keeps each channel's quiet hours and reminders, and the dispatcher
// delivers them on threads of its own. What was held on purpose (a mute)
// reaches the alert log as held. All but the dispatcher's threads run on the
// user-interface thread.
class AlertChain {
 public:
  struct Environment {
    UtcOffsetAt utcOffset = [](CalendarTime) { return 0; };
    // The monitoring computer's name, for the alerts' texts.
    std::string computer;
  };

  // Nothing is sent before SetChannels: `secrets` may rely on what its owner
  // opens after this.
  AlertChain(ChannelSenders senders, SecretLookup secrets, AlertJournal* journal,
             Environment environment);
  ~AlertChain();
  AlertChain(const AlertChain&) = delete;
  AlertChain& operator=(const AlertChain&) = delete;

  void SetChannels(const std::vector<AlertChannel>& channels);

  // For the scheduler's PopupSenders and its result sinks.
  StatusEdgeObserver Observer() { return raiser_.Observer(); }
  QualityEdgeObserver QualityObserver() { return raiser_.QualityObserver(); }
  ResultSink& RecentResults() { return raiser_; }
  // Quiet hours and reminders, timed by the tick's end.
  ResultSink& Timing() { return pacer_; }
  // The list reminders look at: they stop once their host left it or is OK.
  void AttachHosts(HostRows& rows) { hosts_ = &rows; }

  AlertDispatcher& Dispatcher() { return *dispatcher_; }
  const AlertDispatcher& Dispatcher() const { return *dispatcher_; }

 private:
  HostRows* hosts_ = nullptr;
  std::unique_ptr<AlertDispatcher> dispatcher_;
  AlertPacer pacer_;
  AlertRaiser raiser_;
};

}  // namespace kelvoran
