#pragma once

#include "route/route_trace.h"

namespace kelvoran {

// The path probe's platform on Windows: the ICMP echo interface of iphlpapi,
// IcmpSendEcho2 (Icmp6SendEcho2 for IPv6) with the hop limit in the request's
// IP_OPTION_INFORMATION.Ttl, all hop limits in flight at once, each in a
// blocking call on a thread of its own. Windows matches replies to requests, so a
// time-exceeded message quoting someone else's echo never reaches this code.
// Windows Sockets must have been started (StartNetworkServices) first.
//
// Where no ICMP handle opens for the family (Wine has no Icmp6CreateFile),
// nothing is sent and no answer returned. Wine sends through a raw socket where its
// user may open one, else through a ping socket, whose ICMP errors Linux keeps
// in an error queue Wine does not read: there the routers read as silent and
// only the destination answers.
class WindowsRoutePlatform : public RoutePlatform {
 public:
  std::optional<EchoDestination> Resolve(const std::string& host) override;
  std::vector<HopAnswer> SendWithHopLimits(const EchoDestination& destination,
                                           std::span<const int> hopLimits,
                                           std::uint32_t timeoutMs) override;
  std::string ReverseName(const EchoDestination& address, std::uint32_t timeoutMs) override;
};

}  // namespace kelvoran
