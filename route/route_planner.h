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

// Decides when a host's path is recorded and runs the path probes on threads
// of their own, never in the tick: a baseline once a host is first OK and then
// at most once an hour while it stays OK, one path the moment a host enters
// ERROR, and one whenever the user asks. Finished paths are handed back to the
// tick's thread at the end of a tick and given to the observers there.
class RoutePlanner : public ResultSink {
 public:
  struct Limits {
    int MaxRunning = 2;  // path probes at once
    CalendarTime BaselineEverySeconds = 3600;
    TraceOptions Trace;
  };
  using Clock = std::function<CalendarTime()>;
  RoutePlanner(std::shared_ptr<RoutePlatform> platform, Clock clock, Limits limits);
  RoutePlanner(std::shared_ptr<RoutePlatform> platform, Clock clock);
  ~RoutePlanner() override;  // waits for the path probes still running

  void AddObserver(RouteObserver observer);
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
