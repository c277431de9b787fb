#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/echo_probe.h"

// Reading and writing ICMP echo packets. Pure functions over bytes, so every
// check can be tested and fuzzed without a socket.
namespace kelvoran {

using Bytes = std::span<const unsigned char>;

// Ping sockets (SOCK_DGRAM, IPPROTO_ICMP) deliver the ICMP message alone and
// the kernel has checked its checksum; raw sockets deliver the whole IP
// datagram, checksum unchecked, and see every ICMP packet of the namespace.
// For ICMPv6 both kinds deliver the message alone, checksum checked: the
// kernel owns the ICMPv6 checksum, which covers the IPv6 pseudo-header.
enum class EchoSocketKind { Ping, Raw };

// What identifies the answer to one echo request.
struct EchoExpectation {
  EchoDestination Destination;  // its family tells ICMP from ICMPv6
  std::uint16_t Identifier = 0;
  std::uint16_t Sequence = 0;
  Bytes Data;  // the echo data that was sent and must come back unchanged
};

enum class PacketVerdict { Foreign, EchoReply, Error };

struct PacketMatch {
  PacketVerdict Verdict = PacketVerdict::Foreign;
  std::int32_t Status = 0;  // IP status of an Error
  std::uint16_t DataSize = 0;
  // Who sent it: the destination, or the router that reported the error;
  // unset (0.0.0.0) for an error raised by our own send.
  EchoDestination From = Ipv4Address{0};
};

// A packet from the normal receive queue; source is the sender's address from
// recvmsg.
PacketMatch MatchReceivedPacket(EchoSocketKind kind, Bytes packet, const EchoDestination& source,
                                const EchoExpectation& expected);

// An entry of the socket's error queue (IP_RECVERR or IPV6_RECVERR, read with
// MSG_ERRQUEUE).
struct QueuedError {
  std::uint8_t Origin = 0;  // SO_EE_ORIGIN_*
  std::uint8_t Type = 0;
  std::uint8_t Code = 0;
  std::uint32_t Errno = 0;
  EchoDestination OriginalDestination;        // from msg_name: where the failed packet went
  Bytes Payload;                              // the failed packet from its ICMP header on
  EchoDestination Offender = Ipv4Address{0};  // SO_EE_OFFENDER: who sent the ICMP error
};

PacketMatch MatchQueuedError(const QueuedError& error, const EchoExpectation& expected);

// The IP status for an ICMP error type and code; nothing for other types.
std::optional<std::int32_t> IcmpErrorStatus(std::uint8_t type, std::uint8_t code);
// The same for ICMPv6, whose errors have numbers of their own.
std::optional<std::int32_t> Icmp6ErrorStatus(std::uint8_t type, std::uint8_t code);
// The IP status for a local send failure, where one fits the errno.
std::optional<std::int32_t> LocalErrorStatus(int error);

// The sequence number of the echo request a received packet answers, or
// that the ICMP error it carries quotes; read without any other check, it
// only tells which probe's expectation to match the packet against.
std::optional<std::uint16_t> AnsweredSequence(EchoSocketKind kind, Bytes packet, bool icmpv6);
// The same for an error-queue entry, whose payload is the request itself.
// None for a local failure, which carries no request.
std::optional<std::uint16_t> QueuedErrorSequence(const QueuedError& error);

// RFC 1071 ones' complement sum; 0 over a packet that carries a valid checksum.
std::uint16_t InternetChecksum(Bytes bytes);

// An ICMP echo request: header with checksum, then the data. An ICMPv6 one
// leaves the checksum to the kernel.
std::vector<unsigned char> BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                            Bytes data, bool icmpv6 = false);

}  // namespace kelvoran
