#pragma once

// In this order: winsock2.h before windows.h, icmpapi.h after iphlpapi.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <cstdint>
#include <optional>

#include "engine/echo_probe.h"

// What the echo probe and the path probe share about the reply buffers of the
// ICMP echo interface of iphlpapi and the IP statuses it reports.
namespace kelvoran {

// IcmpSendEcho wants room for one reply record, the echoed data and 8 bytes
// more. An ICMP error in place of the echo carries the offending IP header (up
// to 60 bytes) and the first 8 bytes behind it, and the record's IP options
// (up to 40 bytes) are stored in the buffer too. The record is the 64-bit
// layout in a 64-bit process, not the 28 bytes of a 32-bit one. The ICMPv6
// record is smaller, so the same size also holds the IO_STATUS_BLOCK (16
// bytes) Icmp6SendEcho2 wants room for.
DWORD ReplyBufferSize(std::uint16_t dataSize);

// ICMPv6 reuses some numbers with another meaning: 11004 is "administratively
// prohibited", not a protocol. Every way of being out of reach reads as
// IP_DEST_HOST_UNREACHABLE, as on Linux; no route stays 11002 (the number of
// IP_DEST_NET_UNREACHABLE).
DWORD Ipv4Meaning(DWORD status);

// IcmpSendEcho returns no record when nothing came back, with an IP status as
// the reason in GetLastError. Silence (IP_REQ_TIMED_OUT) is the probe's own
// "no reply", as on Linux; a status the stack gives at once, such as
// IP_DEST_HOST_UNREACHABLE for a route it refuses, is reported as it is. Any
// other error has no fitting status.
std::optional<EchoReply> ReplyWithoutRecord(DWORD error);

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

// The first reply record IcmpSendEcho2 or Icmp6SendEcho2 wrote into the
// buffer, as the probe reports it; the ICMPv6 record has no data size, and
// the stack hands back only a reply that matched, so it is the size sent.
EchoReply FirstEchoReply(const unsigned char* replies, bool ipv6, std::uint16_t sentSize);

// The socket address Icmp6SendEcho2 sends to.
sockaddr_in6 SocketAddressOf(const Ipv6Address& address);
// The address a reply record names (its port and flow are always 0).
Ipv6Address AddressOf(const Ipv6AddressRecord& record);

}  // namespace kelvoran
