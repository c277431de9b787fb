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
  // Whether the host waits in the baselines' queue; a cleared flag leaves
  // its entry there to be passed over.
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
  // Hosts in the order their baselines became due: just the names, since
  // a long list puts every host here at its first OK.
  std::deque<std::string> baselines;
  std::set<std::string> running;
  // The reasons each host waits in the urgent queue for, a bit per
  // RouteReason (a baseline's is HostRoute::baselineQueued): known at once,
  // where searching the queue would cost each of thousands of hosts a pass
  // over thousands. A request whose bit was cleared stays queued and is
  // passed over.
  std::unordered_map<std::string, unsigned> waiting;
  // Hosts renamed while their path was probed: old name to new.
  std::map<std::string, std::string> renamedWhileRunning;
  bool automatic = true;
  bool baselineRunning = false;
  CalendarTime lastBaselineStart = 0;
  std::shared_ptr<FinishedTraces> finished = std::make_shared<FinishedTraces>();

  static unsigned Bit(RouteReason reason) { return 1u << static_cast<int>(reason); }

  bool Queued(const std::string& host) const { return waiting.count(host) != 0 || Waits(host); }

  bool Waits(const TraceRequest& request) const {
    const auto found = waiting.find(request.host);
    return found != waiting.end() && (found->second & Bit(request.reason));
  }

  // For a baseline.
  bool Waits(const std::string& host) const {
    const auto found = hosts.find(host);
    return found != hosts.end() && found->second.baselineQueued;
  }

  static const std::string& HostOf(const TraceRequest& request) { return request.host; }
  static const std::string& HostOf(const std::string& host) { return host; }

  TraceRequest Take(const TraceRequest& request) {
    Unmark(request.host, Bit(request.reason));
    return request;
  }

  TraceRequest Take(const std::string& host) {
    hosts[host].baselineQueued = false;
    return {host, RouteReason::Baseline};
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
    route.baselineQueued = true;
    baselines.push_back(host.Host);
  }

  void QueueUrgent(const std::string& host, RouteReason reason) {
    // An outage's path matters more than a baseline waiting for its turn.
    if (const auto found = hosts.find(host); found != hosts.end())
      found->second.baselineQueued = false;
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
  template <typename Request>
  bool StartNext(std::deque<Request>& queue) {
    for (auto it = queue.begin(); it != queue.end();) {
      if (!Waits(*it)) {
        it = queue.erase(it);
        continue;
      }
      if (running.count(HostOf(*it))) {
        ++it;
        continue;
      }
      const TraceRequest request = Take(*it);
      queue.erase(it);
      Start(request);
      return true;
    }
    return false;
  }

  bool BaselineMayStart() const {
    return !baselineRunning && clock() - lastBaselineStart >= limits.BaselineGapSeconds;
  }

  void StartQueued() {
    while (static_cast<int>(running.size()) < limits.MaxRunning) {
      if (StartNext(urgent)) continue;
      if (!BaselineMayStart() || !StartNext(baselines)) break;
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
  state_->baselines.clear();
  for (auto& [name, route] : state_->hosts) route.baselineQueued = false;
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
  state_->hosts.insert(std::move(node));
  for (TraceRequest& request : state_->urgent)
    if (request.host == from) request.host = to;
  std::replace(state_->baselines.begin(), state_->baselines.end(), from, to);
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
  state_->hosts.erase(host);
  state_->waiting.erase(host);
  std::erase_if(state_->urgent, [&](const TraceRequest& request) { return request.host == host; });
  std::erase(state_->baselines, host);
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
