#include "route/route_planner.h"

#include <algorithm>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#include "engine/host_record.h"
#include "platform/detached_thread.h"

namespace kelvoran {
namespace {

struct HostRoute {
  bool seenOk = false;
  // Whether the host waits for a baseline.
  bool baselineQueued = false;
  CalendarTime lastBaseline = 0;  // when the last baseline started; 0 for none
};

struct TraceRequest {
  std::string host;
  RouteReason reason = RouteReason::Baseline;
};

// What the path probes' threads share with the planner: it outlives the
// planner while a probe still runs.
struct FinishedTraces {
  std::mutex lock;
  std::vector<RouteTrace> traces;
};

RouteTrace TraceHost(RoutePlatform& platform, const TraceRequest& request, CalendarTime taken,
                     const TraceOptions& options) {
  RouteTrace trace;
  if (const auto destination = platform.Resolve(request.host))
    trace = TraceRoute(*destination, options, platform);
  else
    trace.End = RouteEnd::Failed;
  trace.Host = request.host;
  trace.Taken = taken;
  trace.Reason = request.reason;
  return trace;
}

}  // namespace

struct RoutePlanner::State {
  std::shared_ptr<RoutePlatform> platform;
  Clock clock;
  Limits limits;
  std::vector<RouteObserver> observers;
  std::map<std::string, HostRoute> hosts;
  std::deque<TraceRequest> urgent;  // outages and the user's requests
  // The hosts waiting for a baseline are those flagged in `hosts`, taken in
  // turn by name from where the last one was: a long list flags every host
  // at its first OK, and a queue of their names cost 32 bytes a host.
  std::size_t baselinesWaiting = 0;
  std::string lastBaselineHost;
  std::set<std::string> running;
  // The reasons each host waits in the urgent queue for, a bit per
  // RouteReason, kept with the queue: known at once, where searching the
  // queue would cost each of thousands of hosts a pass over thousands.
  std::unordered_map<std::string, unsigned> waiting;
  // Hosts renamed while their path was probed: old name to new.
  std::map<std::string, std::string> renamedWhileRunning;
  bool automatic = true;
  bool baselineRunning = false;
  CalendarTime lastBaselineStart = 0;
  std::shared_ptr<FinishedTraces> finished = std::make_shared<FinishedTraces>();

  static unsigned Bit(RouteReason reason) { return 1u << static_cast<int>(reason); }

  bool Queued(const std::string& host) const {
    const auto route = hosts.find(host);
    return waiting.count(host) != 0 || (route != hosts.end() && route->second.baselineQueued);
  }

  void SetBaselineQueued(HostRoute& route, bool queued) {
    if (route.baselineQueued == queued) return;
    route.baselineQueued = queued;
    queued ? ++baselinesWaiting : --baselinesWaiting;
  }

  void Unmark(const std::string& host, unsigned bits) {
    const auto found = waiting.find(host);
    if (found == waiting.end()) return;
    found->second &= ~bits;
    if (found->second == 0) waiting.erase(found);
  }

  void QueueBaselineIfDue(const HostRecord& host, CalendarTime now) {
    HostRoute& route = hosts[host.Host];
    const bool due = !route.seenOk || now - route.lastBaseline >= limits.BaselineEverySeconds;
    route.seenOk = true;
    if (!due || running.count(host.Host) || Queued(host.Host)) return;
    route.lastBaseline = now;
    SetBaselineQueued(route, true);
  }

  void QueueUrgent(const std::string& host, RouteReason reason) {
    // An outage's path matters more than a baseline waiting for its turn.
    if (const auto found = hosts.find(host); found != hosts.end())
      SetBaselineQueued(found->second, false);
    unsigned& reasons = waiting[host];
    if (reasons & Bit(reason)) return;
    reasons |= Bit(reason);
    urgent.push_back({host, reason});
  }

  void Start(const TraceRequest& request) {
    running.insert(request.host);
    if (request.reason == RouteReason::Baseline) {
      baselineRunning = true;
      lastBaselineStart = clock();
    }
    auto body = [platform = platform, finished = finished, request, taken = clock(),
                 options = limits.Trace] {
      RouteTrace trace = TraceHost(*platform, request, taken, options);
      std::lock_guard guard(finished->lock);
      finished->traces.push_back(std::move(trace));
    };
    if (!StartDetachedThread(std::move(body))) Finish(FailedTrace(request));
  }

  RouteTrace FailedTrace(const TraceRequest& request) {
    RouteTrace trace;
    trace.Host = request.host;
    trace.Taken = clock();
    trace.Reason = request.reason;
    trace.End = RouteEnd::Failed;
    return trace;
  }

  void Finish(RouteTrace trace) {
    if (auto node = renamedWhileRunning.extract(trace.Host)) trace.Host = node.mapped();
    running.erase(trace.Host);
    if (trace.Reason == RouteReason::Baseline) baselineRunning = false;
    // A host deleted while its path was probed has no one to show it to.
    if (trace.Reason != RouteReason::OnDemand && !hosts.count(trace.Host)) return;
    for (const RouteObserver& observer : observers) observer(trace);
  }

  void CollectFinished() {
    std::vector<RouteTrace> traces;
    {
      std::lock_guard guard(finished->lock);
      traces.swap(finished->traces);
    }
    for (const RouteTrace& trace : traces) Finish(trace);
  }

  // A host already being probed waits in its queue for the next tick.
  bool StartNextUrgent() {
    for (auto it = urgent.begin(); it != urgent.end(); ++it) {
      if (running.count(it->host)) continue;
      const TraceRequest request = *it;
      urgent.erase(it);
      Unmark(request.host, Bit(request.reason));
      Start(request);
      return true;
    }
    return false;
  }

  // The next host by name after the last baseline's, round the list.
  bool StartNextBaseline() {
    if (baselinesWaiting == 0) return false;
    auto it = hosts.upper_bound(lastBaselineHost);
    for (std::size_t left = hosts.size(); left > 0; --left, ++it) {
      if (it == hosts.end()) it = hosts.begin();
      if (!it->second.baselineQueued || running.count(it->first)) continue;
      SetBaselineQueued(it->second, false);
      lastBaselineHost = it->first;
      Start({it->first, RouteReason::Baseline});
      return true;
    }
    return false;
  }

  bool BaselineMayStart() const {
    return !baselineRunning && clock() - lastBaselineStart >= limits.BaselineGapSeconds;
  }

  void StartQueued() {
    while (static_cast<int>(running.size()) < limits.MaxRunning) {
      if (StartNextUrgent()) continue;
      if (!BaselineMayStart() || !StartNextBaseline()) break;
    }
  }
};

RoutePlanner::RoutePlanner(std::shared_ptr<RoutePlatform> platform, Clock clock, Limits limits)
    : state_(std::make_unique<State>()) {
  state_->platform = std::move(platform);
  state_->clock = std::move(clock);
  state_->limits = limits;
}

RoutePlanner::RoutePlanner(std::shared_ptr<RoutePlatform> platform, Clock clock)
    : RoutePlanner(std::move(platform), std::move(clock), Limits{}) {}

RoutePlanner::~RoutePlanner() = default;

void RoutePlanner::AddObserver(RouteObserver observer) {
  state_->observers.push_back(std::move(observer));
}

void RoutePlanner::SetAutomatic(bool on) {
  state_->automatic = on;
  if (on) return;
  for (auto& [name, route] : state_->hosts) route.baselineQueued = false;
  state_->baselinesWaiting = 0;
  std::erase_if(state_->urgent, [](const TraceRequest& request) {
    return request.reason != RouteReason::OnDemand;
  });
  for (auto it = state_->waiting.begin(); it != state_->waiting.end();) {
    it->second &= State::Bit(RouteReason::OnDemand);
    it = it->second == 0 ? state_->waiting.erase(it) : std::next(it);
  }
}

void RoutePlanner::TraceNow(const std::string& host) {
  state_->QueueUrgent(host, RouteReason::OnDemand);
}

bool RoutePlanner::Tracing(const std::string& host) const {
  return state_->running.count(host) || state_->Queued(host);
}

void RoutePlanner::HostRenamed(const std::string& from, const std::string& to) {
  auto node = state_->hosts.extract(from);
  if (node.empty()) return;
  node.key() = to;
  // Onto a name the planner knows already: that host's state stays.
  if (auto kept = state_->hosts.insert(std::move(node)); !kept.inserted)
    state_->SetBaselineQueued(kept.node.mapped(), false);
  for (TraceRequest& request : state_->urgent)
    if (request.host == from) request.host = to;
  if (auto reasons = state_->waiting.extract(from)) {
    reasons.key() = to;
    state_->waiting.insert(std::move(reasons));
  }
  if (state_->running.erase(from)) {
    state_->running.insert(to);
    state_->renamedWhileRunning[from] = to;
  }
}

void RoutePlanner::HostForgotten(const std::string& host) {
  if (const auto found = state_->hosts.find(host); found != state_->hosts.end()) {
    state_->SetBaselineQueued(found->second, false);
    state_->hosts.erase(found);
  }
  state_->waiting.erase(host);
  std::erase_if(state_->urgent, [&](const TraceRequest& request) { return request.host == host; });
}

void RoutePlanner::ResultApplied(const HostRecord& host, const ProbeResult& /*result*/,
                                 std::int32_t statusBefore) {
  if (!state_->automatic) return;
  if (host.Status == StatusOk) {
    state_->QueueBaselineIfDue(host, state_->clock());
  } else if (host.Status == StatusError && statusBefore != StatusError) {
    state_->hosts[host.Host];
    state_->QueueUrgent(host.Host, RouteReason::Outage);
  }
}

void RoutePlanner::TickEnded() {
  state_->CollectFinished();
  state_->StartQueued();
}

}  // namespace kelvoran
