#pragma once

#include "route/route_planner.h"
#include "ui/main_window/main_frame.h"

namespace kelvoran {

// Gives the main window the planner's requests and its finished paths. The
// planner tells its observers at the end of a tick, which the frame's own
// timer drives: none comes once the frame has gone.
inline void ConnectRoutePlanner(CMainFrame& frame, RoutePlanner& planner) {
  frame.SetRouteRequests({[&planner](const std::string& host) { planner.TraceNow(host); },
                          [&planner](const std::string& host) { return planner.Tracing(host); }});
  planner.AddObserver([&frame](const RouteTrace& trace) { frame.RouteRecorded(trace); });
}

}  // namespace kelvoran
