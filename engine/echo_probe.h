#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "engine/calendar_time.h"
#include "engine/probe_job.h"

namespace kelvoran {

// An IPv4 address in network byte order, as the resolver hands it out.
using Ipv4Address = std::uint32_t;
// What the dotted-address parser gives for text that is not an address.
inline constexpr Ipv4Address kNoAddress = 0xFFFFFFFFu;

// An IPv6 address in network byte order, with the zone (interface index) that
// a link-local address needs to leave by a known link; 0 for none.
struct Ipv6Address {
  std::array<unsigned char, 16> Bytes{};
  std::uint32_t ScopeId = 0;
  bool operator==(const Ipv6Address&) const = default;
};

// Where one echo request goes: ICMP for IPv4, ICMPv6 for IPv6.
using EchoDestination = std::variant<Ipv4Address, Ipv6Address>;

inline bool IsIpv6(const EchoDestination& destination) {
  return std::holds_alternative<Ipv6Address>(destination);
}

// The first reply that answered one echo request.
struct EchoReply {
  std::int32_t Status = 0;          // 0 success, otherwise an IP status (11001...)
  std::uint32_t RoundTripTime = 0;  // whole milliseconds, truncated
  std::uint16_t DataSize = 0;       // echo data bytes in the reply
};

// Wide enough for any platform's handle: a descriptor on Linux, a HANDLE on
// Windows.
using EchoHandle = std::intptr_t;

// The resolver and ICMP services one probe relies on. Each platform folder
// defines them; the engine only sees this.
class EchoPlatform {
 public:
  virtual ~EchoPlatform() = default;
  virtual CalendarTime Now() = 0;
  // The first IPv4 address the resolver knows for the name, if any.
  virtual std::optional<Ipv4Address> ResolveByName(const std::string& host) = 0;
  // A dotted IPv4 text, or kNoAddress when the text is not one.
  virtual Ipv4Address ParseDotted(const std::string& host) = 0;
  // An IPv6 literal (with an optional %zone), or the first IPv6 address the
  // resolver knows for the name; asked only for a host without IPv4 address.
  virtual std::optional<Ipv6Address> ResolveIpv6(const std::string& host) = 0;
  // Opens an echo handle for the destination's family; on failure returns
  // false with the system's error code (errno, GetLastError) in error.
  virtual bool OpenEchoHandle(const EchoDestination& destination, EchoHandle& handle,
                              std::int32_t& error) = 0;
  // Sends one echo request through a handle opened for the destination and
  // waits up to timeoutMs for its answer. No value when nothing answered in
  // time or the send failed without a fitting status.
  virtual std::optional<EchoReply> SendEcho(EchoHandle handle, const EchoDestination& destination,
                                            const unsigned char* data, std::uint16_t size,
                                            std::uint32_t timeoutMs) = 0;
  virtual void CloseEchoHandle(EchoHandle handle) = 0;
};

// Echo data larger than this is refused with ResultMemoryError before anything
// is allocated: the wire carries at most 65535 data bytes, and a hand-edited
// PacketSize of up to 4 GiB must not cost every probe thread gigabytes.
inline constexpr std::uint32_t kMaxEchoDataBytes = 1u << 20;

// The address a probe of the host sends to: the resolver's IPv4 address, a
// dotted IPv4 text, else an IPv6 address. Nothing when the name has none.
std::optional<EchoDestination> FindEchoDestination(const std::string& host, EchoPlatform& platform);

// Runs one probe: resolves the host, sends one echo request, waits at most
// Timeout seconds and writes the outcome into result. Returns ResultCode.
std::int32_t RunEchoProbe(const ProbeRequest& request, ProbeResult& result, EchoPlatform& platform);

// RunEchoProbe in the steps a probe path without a thread of its own takes,
// so that both paths write the same results, codes and values.

// What goes on the wire for one probe.
struct PreparedEcho {
  EchoDestination Destination;
  std::unique_ptr<unsigned char[]> Data;  // WireSize zero bytes, at least one allocated
  std::uint16_t WireSize = 0;
  std::uint32_t TimeoutMs = 0;
};

// Starts the result, checks the request and resolves the host. No value when
// the result is final already (bad request, no memory, unknown host).
std::optional<PreparedEcho> PrepareEcho(const ProbeRequest& request, ProbeResult& result,
                                        EchoPlatform& platform);
// The result of a probe whose echo handle could not be opened.
void RecordNoEchoHandle(std::int32_t error, ProbeResult& result);
// The result of a probe that was sent: its reply, or none in time.
void RecordEchoOutcome(const ProbeRequest& request, const std::optional<EchoReply>& reply,
                       ProbeResult& result);

}  // namespace kelvoran
