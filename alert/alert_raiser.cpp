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
  AlertEvent event;
  event.kind = down ? AlertKind::Down : AlertKind::OkAgain;
  event.host = host.Host;
  event.description = host.Description;
  event.status = StatusName(host.Status);
  event.previousStatus = StatusName(edge.statusBefore);
  if (host.ResultCode != 0) event.error = host.ResultText();
  event.outageStart = Local(edge.outageStart);
  event.outageSeconds = edge.at - edge.outageStart;
  if (host.ResultCode == 0 && host.LastDelay >= 0)
    event.roundTripMs = static_cast<std::uint32_t>(host.LastDelay);
  event.lossPercent = recent.LossPercent();
  event.time = Local(edge.at);
  event.computer = environment_.computer;
  if (edge.heldBecause.empty())
    raise_(channels, event);
  else if (hold_)
    hold_(channels, event, edge.heldBecause);
}

void AlertRaiser::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                std::int32_t /*statusBefore*/) {
  if (host.AlertChannels.empty()) return;
  recent_[host.HostId].Add(result.ResultCode != 0);
}

}  // namespace kelvoran
