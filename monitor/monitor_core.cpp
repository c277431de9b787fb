#include "monitor/monitor_core.h"

#include <utility>

#include "history/history_link.h"
#include "platform/local_names.h"
#include "platform/local_time.h"

namespace kelvoran {

AlertChain::Environment SystemAlertEnvironment() {
  return {[](CalendarTime utc) { return LocalUtcOffset(utc); }, ShortHostName().value_or("")};
}

MonitorCore::MonitorCore(ProbeFunction probe, HistoryLink* history, AlertChain& alerts,
                         PopupSenders popups)
    : history_(history), alerts_(alerts), mutes_(SystemClock, LocalUtcOffset) {
  popups.edges = alerts_.Observer();
  scheduler_ = std::make_unique<ProbeScheduler>(
      mailbox_, std::move(probe), dependencies_.Guard(mutes_.Guard(std::move(popups))));
  sinks_.Add(history_);
  sinks_.Add(&alerts_.RecentResults());
  sinks_.Add(&alerts_.Timing());
  sinks_.Add(&dependencies_);
  sinks_.Add(&mutes_);
  quality_.SetObserver(
      [this](const HostRecord& host, const QualityEdge& edge) { QualitySeen(host, edge); });
  sinks_.Add(&quality_);
  scheduler_->SetResultSink(&sinks_);
}

void MonitorCore::Attach(HostRows& rows) {
  dependencies_.Attach(rows);
  alerts_.AttachHosts(rows);
  mutes_.Attach(rows);
  quality_.Attach(rows);
}

void MonitorCore::RecordRoutes(std::shared_ptr<RoutePlatform> platform) {
  if (routes_ || !platform) return;
  routes_ = std::make_unique<RoutePlanner>(std::move(platform), SystemClock);
  if (history_)
    routes_->AddObserver([this](const RouteTrace& trace) { history_->RouteRecorded(trace); });
  sinks_.Add(routes_.get());
}

// A muted host's quality alerts are held, as its other alerts are.
void MonitorCore::QualitySeen(const HostRecord& host, const QualityEdge& edge) {
  if (alsoOnQuality_) alsoOnQuality_(host, edge);
  if (history_) history_->QualityChanged(host, edge);
  QualityEdge told = edge;
  told.heldBecause = mutes_.WhyHeld(host);
  alerts_.QualityObserver()(host, told);
}

}  // namespace kelvoran
