#include "platform/system_services.h"

#include "platform/linux/desktop_terminal_services.h"
#include "platform/linux/echo_multiplexer.h"
#include "platform/linux/linux_echo_probe.h"
#include "platform/linux/linux_route_probe.h"

namespace kelvoran {

// Sockets need no start-up on Linux.
bool StartNetworkServices() { return true; }

ProbeFunction SystemEchoProbe() { return LinuxEchoProbe(); }

std::shared_ptr<RoutePlatform> SystemRoutePlatform() {
  return std::make_shared<LinuxRoutePlatform>();
}

EchoServiceMaker SystemEchoService() { return LinuxEchoService(); }

std::unique_ptr<SystemTerminalServices> MakeSystemTerminalServices() {
  return std::make_unique<DesktopTerminalServices>();
}

}  // namespace kelvoran
