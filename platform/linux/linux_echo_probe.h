#pragma once

#include "engine/echo_probe.h"
#include "engine/probe_job.h"
#include "platform/linux/echo_socket.h"

namespace kelvoran {

// The probe's platform on Linux: getaddrinfo, the dotted-address parser and
// ICMP and ICMPv6 sockets.
class LinuxEchoPlatform : public EchoPlatform {
 public:
  explicit LinuxEchoPlatform(EchoSocketChoice choice = EchoSocketChoice::PingThenRaw)
      : choice_(choice) {}
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

 private:
  EchoSocketChoice choice_;
};

// An exchange's answer as the probe records it: the round trip in whole
// milliseconds, truncated.
std::optional<EchoReply> ToEchoReply(const std::optional<TimedEchoReply>& timed);

// The echo probe the program runs: RunEchoProbe on the Linux platform. Safe to
// call from any number of threads at once.
ProbeFunction LinuxEchoProbe(EchoSocketChoice choice = EchoSocketChoice::PingThenRaw);

}  // namespace kelvoran
