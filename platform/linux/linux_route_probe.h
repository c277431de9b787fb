#pragma once

#include "platform/linux/echo_socket.h"
#include "route/route_trace.h"

namespace kelvoran {

// Path probes on Linux: ICMP and ICMPv6 sockets of the kind the echo probe
// uses, one opened per round of echoes, the hop limit set before each send.
// Time-exceeded answers come through the socket's error queue (a ping
// socket: IP_RECVERR, the router named by SO_EE_OFFENDER) or, on a raw
// socket, also as packets of their own from the router.
class LinuxRoutePlatform : public RoutePlatform {
 public:
  explicit LinuxRoutePlatform(EchoSocketChoice choice = EchoSocketChoice::PingThenRaw)
      : choice_(choice) {}
  std::optional<EchoDestination> Resolve(const std::string& host) override;
  std::vector<HopAnswer> SendWithHopLimits(const EchoDestination& destination,
                                           std::span<const int> hopLimits,
                                           std::uint32_t timeoutMs) override;
  std::string ReverseName(const EchoDestination& address, std::uint32_t timeoutMs) override;

 private:
  EchoSocketChoice choice_;
};

// What one hop-limited echo's answer tells a path probe.
HopAnswer ToHopAnswer(int hopLimit, const HopLimitedEcho& echo);

}  // namespace kelvoran
