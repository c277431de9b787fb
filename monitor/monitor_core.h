#pragma once

#include <functional>
#include <memory>

#include "alert/alert_chain.h"
#include "engine/host_dependencies.h"
#include "engine/host_mute.h"
#include "engine/quality_watch.h"
#include "engine/result_mailbox.h"
#include "engine/result_sink.h"
#include "engine/scheduler.h"
#include "route/route_planner.h"

namespace kelvoran {

class HistoryLink;
class HostRows;

// The system's clock, time zone and name, for the alerts' texts.
AlertChain::Environment SystemAlertEnvironment();

// What both the window and the headless monitor run between the probes and
// the people told: the scheduler, with the dependencies' hold and the mutes
// in front of the popup senders and alert channels, and the result sinks
// every applied result reaches (the history, the alerts' recent results and
// timing, the holds, the quality watch). Everything runs on the thread that
// runs the tick.
class MonitorCore {
 public:
  // `history` may be null (a second copy records none); `popups` are the
  // window's popup senders, none without a window.
  MonitorCore(ProbeFunction probe, HistoryLink* history, AlertChain& alerts, PopupSenders popups);
  MonitorCore(const MonitorCore&) = delete;
  MonitorCore& operator=(const MonitorCore&) = delete;

  // The rows the holds, the reminders and the quality watch look at.
  void Attach(HostRows& rows);
  // Also told of each change of quality (the headless log).
  void AlsoOnQuality(QualityEdgeObserver also) { alsoOnQuality_ = std::move(also); }
  // Another sink, after those above.
  void AddSink(ResultSink* sink) { sinks_.Add(sink); }

  // Records the hosts' paths through the platform: baselines while OK, one at
  // each outage, and the user's requests. Each path goes to the history.
  void RecordRoutes(std::shared_ptr<RoutePlatform> platform);
  // Null until RecordRoutes.
  RoutePlanner* Routes() { return routes_.get(); }

  ProbeScheduler& Scheduler() { return *scheduler_; }
  HostDependencies& Dependencies() { return dependencies_; }
  HostMutes& Mutes() { return mutes_; }

 private:
  void QualitySeen(const HostRecord& host, const QualityEdge& edge);

  HistoryLink* history_;
  AlertChain& alerts_;
  QualityEdgeObserver alsoOnQuality_;
  ResultMailbox mailbox_;
  ResultSinks sinks_;
  // The hold behind hosts in front that are down, before the mutes: the
  // scheduler's senders refer to both.
  HostDependencies dependencies_;
  HostMutes mutes_;
  QualityWatch quality_;
  std::unique_ptr<RoutePlanner> routes_;
  std::unique_ptr<ProbeScheduler> scheduler_;
};

}  // namespace kelvoran
