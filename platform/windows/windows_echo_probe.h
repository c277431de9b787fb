#pragma once

#include "engine/echo_probe.h"
#include "engine/probe_job.h"

namespace kelvoran {

// The probe's platform on Windows: Windows Sockets for names and dotted
// addresses, the ICMP echo interface of iphlpapi for the request (its ICMPv6
// calls for IPv6 hosts). Windows Sockets must have been started
// (StartNetworkServices) before names resolve.
class WindowsEchoPlatform : public EchoPlatform {
 public:
  CalendarTime Now() override;
  std::optional<Ipv4Address> ResolveByName(const std::string& host) override;
  Ipv4Address ParseDotted(const std::string& host) override;
  std::optional<Ipv6Address> ResolveIpv6(const std::string& host) override;
  bool OpenEchoHandle(const EchoDestination& destination, EchoHandle& handle,
                      std::int32_t& error) override;
  std::optional<EchoReply> SendEcho(EchoHandle handle, const EchoDestination& destination,
                                    const unsigned char* data, std::uint16_t size,
                                    std::uint32_t timeoutMs) override;
  void CloseEchoHandle(EchoHandle handle) override;
};

// The echo probe the program runs: RunEchoProbe on the Windows platform. Safe
// to call from any number of threads at once.
ProbeFunction WindowsEchoProbe();

}  // namespace kelvoran
