// What the program takes from Windows at start-up, but the terminal services,
// which have a file of their own.
#include "platform/system_services.h"

#include <winsock2.h>

#include "platform/windows/windows_echo_probe.h"
#include "platform/windows/windows_echo_service.h"
#include "platform/windows/windows_route_probe.h"

namespace kelvoran {

// Windows Sockets 1.1 is all the probe needs (gethostbyname, inet_addr). The
// start-up is never undone: the sockets live as long as the program.
bool StartNetworkServices() {
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

ProbeFunction SystemEchoProbe() { return WindowsEchoProbe(); }

std::shared_ptr<RoutePlatform> SystemRoutePlatform() {
  return std::make_shared<WindowsRoutePlatform>();
}

EchoServiceMaker SystemEchoService() { return WindowsEchoServiceMaker(); }

}  // namespace kelvoran
