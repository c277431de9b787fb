#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/result_sink.h"
#include "route/route_trace.h"

namespace kelvoran {

class HostRecord;

// Told of every path recorded, on the thread that runs the tick.
using RouteObserver = std::function<void(const RouteTrace&)>;

// The platform is called from several threads at once.
//
// Decides when a host's path is recorded and runs the path probes on threads
// of their own, never in the tick: a baseline once a host is first OK and then
// at most once an hour while it stays OK, one path the moment a host enters
// ERROR, and one whenever the user asks. Finished paths are handed back to the
// tick's thread at the end of a tick and given to the observers there.
class RoutePlanner : public ResultSink {
 public:
  struct Limits {
    int MaxRunning = 2;  // path probes at once
    // A host's baseline is recorded again after this long while it stays OK.
    CalendarTime BaselineEverySeconds = 3600;
    // Baselines start one at a time and at least this far apart, so that a
    // list of thousands spreads its baselines out instead of sending bursts
    // of path probes beside its own echoes.
    CalendarTime BaselineGapSeconds = 5;
    TraceOptions Trace;
  };
  using Clock = std::function<CalendarTime()>;
  RoutePlanner(std::shared_ptr<RoutePlatform> platform, Clock clock, Limits limits);
  RoutePlanner(std::shared_ptr<RoutePlatform> platform, Clock clock);
  // Path probes still running finish on their own; their paths are dropped.
  ~RoutePlanner() override;

  void AddObserver(RouteObserver observer);
  // Off: no baselines and no outage paths, only the user's requests; paths
  // already waiting are dropped. On by default.
  void SetAutomatic(bool on);
  // The user asked for the host's path ("Trace route").
  void TraceNow(const std::string& host);
  // Whether a path probe for the host is queued or running.
  bool Tracing(const std::string& host) const;
  // The host was renamed or deleted: its timers follow or go.
  void HostRenamed(const std::string& from, const std::string& to);
  void HostForgotten(const std::string& host);

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kelvoran
