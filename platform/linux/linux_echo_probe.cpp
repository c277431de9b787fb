#include "platform/linux/linux_echo_probe.h"

#include <unistd.h>

#include "engine/scheduler.h"
#include "platform/family_resolver.h"
#include "platform/linux/resolver.h"

namespace kelvoran {

CalendarTime LinuxEchoPlatform::Now() { return SystemClock(); }

std::optional<Ipv4Address> LinuxEchoPlatform::ResolveByName(const std::string& host) {
  return ResolveIpv4(host);
}

Ipv4Address LinuxEchoPlatform::ParseDotted(const std::string& host) {
  return ParseDottedIpv4(host);
}

std::optional<Ipv6Address> LinuxEchoPlatform::ResolveIpv6(const std::string& host) {
  return kelvoran::ResolveIpv6(host);
}

bool LinuxEchoPlatform::OpenEchoHandle(const EchoDestination& destination, EchoHandle& handle,
                                       std::int32_t& error) {
  handle = OpenEchoSocket(choice_, IsIpv6(destination), error);
  return handle >= 0;
}

std::optional<EchoReply> LinuxEchoPlatform::SendEcho(EchoHandle handle,
                                                     const EchoDestination& destination,
                                                     const unsigned char* data, std::uint16_t size,
                                                     std::uint32_t timeoutMs) {
  return ToEchoReply(
      ExchangeEcho(static_cast<int>(handle), destination, Bytes(data, size), timeoutMs));
}

void LinuxEchoPlatform::CloseEchoHandle(EchoHandle handle) { close(static_cast<int>(handle)); }

std::optional<EchoReply> ToEchoReply(const std::optional<TimedEchoReply>& timed) {
  if (!timed) return std::nullopt;
  return EchoReply{timed->Status, static_cast<std::uint32_t>(timed->RoundTripMicros / 1000),
                   timed->DataSize};
}

ProbeFunction LinuxEchoProbe(EchoSocketChoice choice) {
  return [choice](const ProbeRequest& request, ProbeResult& result) {
    LinuxEchoPlatform platform(choice);
    return RunEchoProbe(request, result, platform);
  };
}

}  // namespace kelvoran
