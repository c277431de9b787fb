#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/linux/icmp_packet.h"

namespace kelvoran {

// Which ICMP socket a probe may open. A ping socket (SOCK_DGRAM) needs the
// user's group inside net.ipv4.ping_group_range, which rules ICMPv6 ping
// sockets too; a raw socket needs root or CAP_NET_RAW.
enum class EchoSocketChoice { PingThenRaw, PingOnly, RawOnly };

// Opens a non-blocking ICMP (or, for ipv6, ICMPv6) socket with IP_RECVERR or
// IPV6_RECVERR, and the type filter on a raw one. On failure returns -1 and
// the errno of the last attempt in error.
int OpenEchoSocket(EchoSocketChoice choice, bool ipv6, std::int32_t& error);

// The socket's kind, read back with SO_TYPE.
EchoSocketKind KindOfEchoSocket(int fd);

struct TimedEchoReply {
  std::int32_t Status = 0;
  std::uint64_t RoundTripMicros = 0;
  std::uint16_t DataSize = 0;
};

// Sends one echo request with the given data through a socket of the
// destination's family and waits up to timeoutMs for its echo reply or an ICMP
// error about it; every other packet is skipped. No value when nothing came in
// time or the send failed with no fitting IP status.
std::optional<TimedEchoReply> ExchangeEcho(int fd, const EchoDestination& destination, Bytes data,
                                           std::uint32_t timeoutMs);

// One echo request of a path probe and what answered it.
struct HopLimitedEcho {
  PacketMatch Match;  // Foreign while nothing answered
  std::uint64_t RoundTripMicros = 0;
  bool Awaited = false;  // sent, and no answer yet
};

// Sends one echo request per hop limit (IP_TTL or IPV6_UNICAST_HOPS set before
// each) through a socket of the destination's family, then waits up to
// timeoutMs from the first send for their answers, told apart by sequence
// number. One entry per hop limit, in order; none at all when the hop limit
// could not be set.
std::vector<HopLimitedEcho> ExchangeHopLimitedEchoes(int fd, const EchoDestination& destination,
                                                     std::span<const int> hopLimits, Bytes data,
                                                     std::uint32_t timeoutMs);

// The parts of an exchange, for probes that share one socket.

// The identifier this process puts in the requests of its raw sockets.
std::uint16_t ProcessIdentifier();
// The identifier the kernel writes into a ping socket's requests (its port);
// known once the socket has sent.
std::uint16_t PingSocketIdentifier(int fd);

// Sends a built echo request; 0, or the errno of the failure.
int SendEchoRequest(int fd, const EchoDestination& destination, Bytes request);
// What a send that failed with error tells the probe: a status, or no value
// for no answer.
std::optional<TimedEchoReply> SendFailureReply(int error, const EchoDestination& destination);

// Reads one datagram of the normal queue into buffer, its sender's address
// into source. recvmsg's result: the size (0 for a datagram cut short, which
// matches nothing), or -1 with errno.
long ReceiveDatagram(int fd, std::span<unsigned char> buffer, EchoDestination& source);
// Reads the error queue up to its next entry about an ICMP error or a local
// failure; no value once it is empty. The payload lies in buffer.
std::optional<QueuedError> ReceiveQueuedError(int fd, std::span<unsigned char> buffer);

}  // namespace kelvoran
