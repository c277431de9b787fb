#include "platform/windows/windows_echo_probe.h"

// In this order: winsock2.h before windows.h, icmpapi.h after iphlpapi.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/scheduler.h"
#include "platform/family_resolver.h"

namespace kelvoran {
namespace {

HANDLE ToHandle(EchoHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// The Windows Sockets calls see the text only up to its first zero byte, and
// gethostbyname("") answers with this machine's own addresses: neither is the
// host the settings name.
bool IsWholeText(const std::string& host) {
  return !host.empty() && host.find('\0') == std::string::npos;
}

// IcmpSendEcho wants room for one reply record, the echoed data and 8 bytes
// more. An ICMP error in place of the echo carries the offending IP header (up
// to 60 bytes) and the first 8 bytes behind it, and the record's IP options
// (up to 40 bytes) are stored in the buffer too. The record is the 64-bit
// layout in a 64-bit process, not the 28 bytes of a 32-bit one.
constexpr DWORD kIcmpErrorBytes = 60 + 8;
constexpr DWORD kIpOptionBytes = 40;

DWORD ReplyBufferSize(std::uint16_t dataSize) {
  return sizeof(ICMP_ECHO_REPLY) + kIpOptionBytes + std::max<DWORD>(dataSize, kIcmpErrorBytes) + 8;
}

// ICMPv6 reuses some numbers with another meaning: 11004 is "administratively
// prohibited", not a protocol. Every way of being out of reach reads as
// IP_DEST_HOST_UNREACHABLE, as on Linux; no route stays 11002 (the number of
// IP_DEST_NET_UNREACHABLE).
DWORD Ipv4Meaning(DWORD status) {
  switch (status) {
    case IP_DEST_PROHIBITED:
    case IP_DEST_SCOPE_MISMATCH:
    case IP_DEST_UNREACHABLE:
      return IP_DEST_HOST_UNREACHABLE;
    default:
      return status;
  }
}

// IcmpSendEcho returns no record when nothing came back, with an IP status as
// the reason in GetLastError. Silence (IP_REQ_TIMED_OUT) is the probe's own
// "no reply", as on Linux; a status the stack gives at once, such as
// IP_DEST_HOST_UNREACHABLE for a route it refuses, is reported as it is. Any
// other error has no fitting status.
std::optional<EchoReply> ReplyWithoutRecord(DWORD error) {
  const bool ipStatus = error > IP_STATUS_BASE && error <= IP_GENERAL_FAILURE;
  if (!ipStatus || error == IP_REQ_TIMED_OUT) return std::nullopt;
  return EchoReply{static_cast<std::int32_t>(error), 0, 0};
}

// The record Icmp6SendEcho2 writes (ICMPV6_ECHO_REPLY), which mingw-w64's
// headers lack: a packed 26-byte address, then the status and the round trip
// at their natural alignment. The echoed data follows; the record has no size
// for it, as the stack hands back only a reply that matched the request.
#pragma pack(push, 1)
struct Ipv6AddressRecord {
  USHORT Port;
  ULONG FlowInfo;
  USHORT Address[8];
  ULONG ScopeId;
};
#pragma pack(pop)
struct Icmp6EchoRecord {
  Ipv6AddressRecord Address;
  ULONG Status;
  unsigned int RoundTripTime;
};
static_assert(sizeof(Icmp6EchoRecord) == 36);

// The ICMPv6 record is smaller than the IPv4 one, so the IPv4 buffer size also
// holds the IO_STATUS_BLOCK (16 bytes) the call wants room for.
std::optional<EchoReply> SendIcmp6Echo(HANDLE handle, const Ipv6Address& destination,
                                       const unsigned char* data, std::uint16_t size,
                                       std::uint32_t timeoutMs) {
  sockaddr_in6 source{};  // the unspecified address: the stack picks one
  source.sin6_family = AF_INET6;
  sockaddr_in6 to{};
  to.sin6_family = AF_INET6;
  std::memcpy(&to.sin6_addr, destination.Bytes.data(), destination.Bytes.size());
  to.sin6_scope_id = destination.ScopeId;
  std::vector<unsigned char> replies(ReplyBufferSize(size));
  const DWORD records = Icmp6SendEcho2(
      handle, nullptr, nullptr, nullptr, &source, &to, const_cast<unsigned char*>(data), size,
      nullptr, replies.data(), static_cast<DWORD>(replies.size()), timeoutMs);
  if (records == 0) return ReplyWithoutRecord(Ipv4Meaning(GetLastError()));
  Icmp6EchoRecord first;
  std::memcpy(&first, replies.data(), sizeof first);
  return EchoReply{static_cast<std::int32_t>(Ipv4Meaning(first.Status)), first.RoundTripTime, size};
}

}  // namespace

CalendarTime WindowsEchoPlatform::Now() { return SystemClock(); }

std::optional<Ipv4Address> WindowsEchoPlatform::ResolveByName(const std::string& host) {
  if (!IsWholeText(host)) return std::nullopt;
  // The entry lives in storage Windows Sockets keeps per thread, until this
  // thread's next lookup: the address is copied out at once.
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != sizeof(Ipv4Address) ||
      entry->h_addr_list[0] == nullptr) {
    return std::nullopt;
  }
  Ipv4Address address = 0;
  std::memcpy(&address, entry->h_addr_list[0], sizeof address);
  return address;
}

Ipv4Address WindowsEchoPlatform::ParseDotted(const std::string& host) {
  if (!IsWholeText(host)) return kNoAddress;
  return inet_addr(host.c_str());
}

std::optional<Ipv6Address> WindowsEchoPlatform::ResolveIpv6(const std::string& host) {
  return kelvoran::ResolveIpv6(host);
}

bool WindowsEchoPlatform::OpenEchoHandle(const EchoDestination& destination, EchoHandle& handle,
                                         std::int32_t& error) {
  const HANDLE opened = IsIpv6(destination) ? Icmp6CreateFile() : IcmpCreateFile();
  if (opened == INVALID_HANDLE_VALUE) {
    error = static_cast<std::int32_t>(GetLastError());
    return false;
  }
  handle = reinterpret_cast<EchoHandle>(opened);
  return true;
}

std::optional<EchoReply> WindowsEchoPlatform::SendEcho(EchoHandle handle,
                                                       const EchoDestination& destination,
                                                       const unsigned char* data,
                                                       std::uint16_t size,
                                                       std::uint32_t timeoutMs) {
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&destination)) {
    return SendIcmp6Echo(ToHandle(handle), *ipv6, data, size, timeoutMs);
  }
  std::vector<unsigned char> replies(ReplyBufferSize(size));
  // The request data is only read; the parameter is not const all the same.
  const DWORD records = IcmpSendEcho(ToHandle(handle), std::get<Ipv4Address>(destination),
                                     const_cast<unsigned char*>(data), size, nullptr,
                                     replies.data(), static_cast<DWORD>(replies.size()), timeoutMs);
  if (records == 0) return ReplyWithoutRecord(GetLastError());
  ICMP_ECHO_REPLY first;
  std::memcpy(&first, replies.data(), sizeof first);
  return EchoReply{static_cast<std::int32_t>(first.Status), first.RoundTripTime, first.DataSize};
}

void WindowsEchoPlatform::CloseEchoHandle(EchoHandle handle) { IcmpCloseHandle(ToHandle(handle)); }

ProbeFunction WindowsEchoProbe() {
  return [](const ProbeRequest& request, ProbeResult& result) {
    WindowsEchoPlatform platform;
    return RunEchoProbe(request, result, platform);
  };
}

}  // namespace kelvoran
