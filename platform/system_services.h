#pragma once

#include <memory>

#include "engine/echo_service.h"
#include "engine/probe_job.h"
#include "notify/console_presenter.h"
#include "notify/terminal_services.h"

namespace kelvoran {

class RoutePlatform;

// What the program takes from the system it runs on at start-up. Each
// platform folder defines these; the application calls nothing else of its
// platform.

// Starts the system's network services before any probe runs. False when
// they cannot start; probes then fail with the system's own error.
bool StartNetworkServices();

// The echo probe the scheduler's worker threads run. Safe to call from any
// number of threads at once.
ProbeFunction SystemEchoProbe();

// Above one probe a second, what probes many hosts without a thread each;
// empty where the platform has none yet.
EchoServiceMaker SystemEchoService();

// The path probes' platform (echoes with limited hop counts), called from
// the route planner's threads.
std::shared_ptr<RoutePlatform> SystemRoutePlatform();

// The terminal services popups are delivered through.
class SystemTerminalServices : public TerminalServices {
 public:
  // Where this computer's console messages are shown on a platform that has
  // no message service of its own; ignored where the system shows them.
  // Null takes the presenter away. Not owned.
  virtual void SetPresenter(ConsolePresenter* presenter) = 0;
};

std::unique_ptr<SystemTerminalServices> MakeSystemTerminalServices();

}  // namespace kelvoran
