#include "alert/alert_raiser.h"

#include <utility>

#include "alert/channel_keys.h"
#include "engine/host_record.h"
#include "engine/probe_job.h"

namespace kelvoran {
namespace {

const char* StatusName(std::int32_t status) {
  switch (status) {
    case StatusOk:
      return "OK";
    case StatusError:
      return "ERROR";
    default:
      return "WARNING";
  }
}

}  // namespace

void RecentFailures::Add(bool failed) {
  failed_[next_] = failed;
  next_ = static_cast<std::uint8_t>((next_ + 1) % kKept);
  if (count_ < kKept) ++count_;
}

std::uint32_t RecentFailures::LossPercent() const {
  if (count_ == 0) return 0;
  return static_cast<std::uint32_t>((failed_.count() * 100 + count_ / 2) / count_);
}

AlertRaiser::AlertRaiser(Raise raise, Environment environment)
    : raise_(std::move(raise)), environment_(std::move(environment)) {}

StatusEdgeObserver AlertRaiser::Observer() {
  return [this](const HostRecord& host, const StatusEdge& edge) { EdgeSeen(host, edge); };
}

LocalMoment AlertRaiser::Local(CalendarTime utc) const {
  return {utc, static_cast<std::int32_t>(environment_.utcOffset(utc))};
}

// The edge comes before the scheduler tells the sinks of its result, so the
// result that made it (a failure into ERROR, a success into OK) is counted
// here on a copy; an edge told late has had its results counted already.
void AlertRaiser::EdgeSeen(const HostRecord& host, const StatusEdge& edge) {
  const std::vector<std::string> channels = SplitChannelNames(host.AlertChannels);
  if (channels.empty()) return;
  const bool down = edge.kind == StatusEdge::Kind::Down;
  RecentFailures recent = recent_[host.HostId];
  if (!edge.resultsTold) recent.Add(down);
  AlertEvent event = About(host);
  event.kind = down ? AlertKind::Down : AlertKind::OkAgain;
  event.previousStatus = StatusName(edge.statusBefore);
  if (host.ResultCode != 0) event.error = host.ResultText();
  event.outageStart = Local(edge.outageStart);
  event.outageSeconds = edge.at - edge.outageStart;
  if (host.ResultCode == 0 && host.LastDelay >= 0)
    event.roundTripMs = static_cast<std::uint32_t>(host.LastDelay);
  event.lossPercent = recent.LossPercent();
  event.time = Local(edge.at);
  Send(channels, event, edge.heldBecause);
}

AlertEvent AlertRaiser::About(const HostRecord& host) const {
  AlertEvent event;
  event.host = host.Host;
  event.description = host.Description;
  event.status = StatusName(host.Status);
  event.computer = environment_.computer;
  return event;
}

void AlertRaiser::Send(const std::vector<std::string>& channels, const AlertEvent& event,
                       const std::string& heldBecause) {
  if (heldBecause.empty())
    raise_(channels, event);
  else if (hold_)
    hold_(channels, event, heldBecause);
}

QualityEdgeObserver AlertRaiser::QualityObserver() {
  return [this](const HostRecord& host, const QualityEdge& edge) { QualitySeen(host, edge); };
}

// The rule's figure goes in the error text, which every channel's default
// message shows; the host's status is what it is, as quality never moves it.
void AlertRaiser::QualitySeen(const HostRecord& host, const QualityEdge& edge) {
  const std::vector<std::string> channels = SplitChannelNames(host.AlertChannels);
  if (channels.empty()) return;
  AlertEvent event = About(host);
  const int first = static_cast<int>(edge.raised ? AlertKind::Slow : AlertKind::SlowEnded);
  event.kind = static_cast<AlertKind>(first + static_cast<int>(edge.rule));
  event.previousStatus = event.status;
  event.error = QualityEdgeText(edge);
  event.outageStart = Local(edge.since);
  event.outageSeconds = edge.at - edge.since;
  if (host.ResultCode == 0 && host.LastDelay >= 0)
    event.roundTripMs = static_cast<std::uint32_t>(host.LastDelay);
  event.lossPercent = recent_[host.HostId].LossPercent();
  event.time = Local(edge.at);
  Send(channels, event, edge.heldBecause);
}

void AlertRaiser::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                std::int32_t /*statusBefore*/) {
  if (host.AlertChannels.empty()) return;
  recent_[host.HostId].Add(result.ResultCode != 0);
}

}  // namespace kelvoran
