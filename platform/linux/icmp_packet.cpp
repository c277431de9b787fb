#include "platform/linux/icmp_packet.h"

// linux/errqueue.h uses struct timespec without including its header, so
// time.h must come first.
// clang-format off
#include <time.h>
#include <linux/errqueue.h>
// clang-format on

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/result_text.h"

namespace kelvoran {
namespace {

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kDestUnreachable = 3;
constexpr std::uint8_t kSourceQuench = 4;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kTimeExceeded = 11;
constexpr std::uint8_t kParameterProblem = 12;
constexpr std::uint8_t kIpProtocolIcmp = 1;
constexpr std::size_t kIcmpHeaderBytes = 8;
constexpr std::size_t kMinIpHeaderBytes = 20;

constexpr std::uint8_t kIcmp6DestUnreachable = 1;
constexpr std::uint8_t kIcmp6PacketTooBig = 2;
constexpr std::uint8_t kIcmp6TimeExceeded = 3;
constexpr std::uint8_t kIcmp6ParameterProblem = 4;
constexpr std::uint8_t kIcmp6EchoRequest = 128;
constexpr std::uint8_t kIcmp6EchoReply = 129;
constexpr std::uint8_t kIpProtocolIcmp6 = 58;
constexpr std::size_t kIpv6HeaderBytes = 40;

bool IsIcmp6(const EchoExpectation& expected) { return IsIpv6(expected.Destination); }

// A reply or error names the host by address alone: the zone of a link-local
// address is the link it arrived on, which the operator may have left out.
bool SameAddress(const EchoDestination& a, const EchoDestination& b) {
  const auto* a6 = std::get_if<Ipv6Address>(&a);
  const auto* b6 = std::get_if<Ipv6Address>(&b);
  if (a6 && b6) return a6->Bytes == b6->Bytes;
  return a == b;
}

std::uint16_t Read16(Bytes bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

Ipv4Address ReadAddress(Bytes bytes, std::size_t offset) {
  Ipv4Address address = 0;
  std::memcpy(&address, bytes.data() + offset, sizeof address);
  return address;
}

// The IP header at the start of bytes, checked against the bytes at hand.
struct IpHeader {
  std::size_t HeaderBytes = 0;
  std::size_t TotalBytes = 0;
  std::uint8_t Protocol = 0;
  Ipv4Address Destination = 0;
};

// Reads an IP header honouring its real IHL (options included). A quoted
// header (inside an ICMP error) may come with its datagram cut short, so only
// a received datagram must hold all of its total length.
std::optional<IpHeader> ReadIpHeader(Bytes bytes, bool wholeDatagram) {
  if (bytes.size() < kMinIpHeaderBytes || bytes[0] >> 4 != 4) return std::nullopt;
  IpHeader header;
  header.HeaderBytes = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
  header.TotalBytes = Read16(bytes, 2);
  header.Protocol = bytes[9];
  header.Destination = ReadAddress(bytes, 16);
  if (header.HeaderBytes < kMinIpHeaderBytes || header.HeaderBytes > bytes.size()) {
    return std::nullopt;
  }
  if (header.TotalBytes < header.HeaderBytes) return std::nullopt;
  if (wholeDatagram && header.TotalBytes > bytes.size()) return std::nullopt;
  return header;
}

// Routers quote as much of the request as they like (RFC 792 asks for 8
// bytes, RFC 1812 and ICMPv6 for more); whatever part of our data they quote
// must be ours. Bytes past our data are padding or RFC 4884 extensions, which
// come after the whole quoted datagram.
bool QuotesOurData(Bytes quotedData, const EchoExpectation& expected) {
  const std::size_t compared = std::min(quotedData.size(), expected.Data.size());
  return std::equal(quotedData.begin(), quotedData.begin() + static_cast<std::ptrdiff_t>(compared),
                    expected.Data.begin());
}

bool IsOurRequest(Bytes icmp, const EchoExpectation& expected) {
  const std::uint8_t request = IsIcmp6(expected) ? kIcmp6EchoRequest : kEchoRequest;
  return icmp.size() >= kIcmpHeaderBytes && icmp[0] == request && icmp[1] == 0 &&
         Read16(icmp, 4) == expected.Identifier && Read16(icmp, 6) == expected.Sequence &&
         QuotesOurData(icmp.subspan(kIcmpHeaderBytes), expected);
}

PacketMatch MatchEchoReply(Bytes icmp, const EchoDestination& source,
                           const EchoExpectation& expected) {
  if (icmp[1] != 0 || !SameAddress(source, expected.Destination)) return {};
  if (Read16(icmp, 4) != expected.Identifier || Read16(icmp, 6) != expected.Sequence) return {};
  // An echo carries our data back unchanged; anything else is not our answer.
  const Bytes data = icmp.subspan(kIcmpHeaderBytes);
  if (!std::ranges::equal(data, expected.Data)) return {};
  return {PacketVerdict::EchoReply, ResultSuccess, static_cast<std::uint16_t>(data.size()), source};
}

// An ICMP error quotes the IP header and at least 8 bytes of the datagram it
// is about: ours when that was our echo request to our destination.
PacketMatch MatchQuotedRequest(Bytes icmp, const EchoDestination& source,
                               const EchoExpectation& expected) {
  const auto status = IcmpErrorStatus(icmp[0], icmp[1]);
  if (!status) return {};
  const Bytes quoted = icmp.subspan(kIcmpHeaderBytes);
  const auto inner = ReadIpHeader(quoted, false);
  if (!inner || inner->Protocol != kIpProtocolIcmp) return {};
  if (EchoDestination(inner->Destination) != expected.Destination) return {};
  if (!IsOurRequest(quoted.subspan(inner->HeaderBytes), expected)) return {};
  return {PacketVerdict::Error, *status, 0, source};
}

// An ICMPv6 error quotes as much of our datagram as fits 1280 bytes: the IPv6
// header, then our request (we send no extension headers).
PacketMatch MatchQuotedRequest6(Bytes icmp, const EchoDestination& source,
                                const EchoExpectation& expected) {
  const auto status = Icmp6ErrorStatus(icmp[0], icmp[1]);
  if (!status) return {};
  const Bytes quoted = icmp.subspan(kIcmpHeaderBytes);
  if (quoted.size() < kIpv6HeaderBytes || quoted[0] >> 4 != 6) return {};
  if (quoted[6] != kIpProtocolIcmp6) return {};
  Ipv6Address inner;
  std::memcpy(inner.Bytes.data(), quoted.data() + 24, inner.Bytes.size());
  if (!SameAddress(inner, expected.Destination)) return {};
  if (!IsOurRequest(quoted.subspan(kIpv6HeaderBytes), expected)) return {};
  return {PacketVerdict::Error, *status, 0, source};
}

std::optional<Bytes> IcmpPartOfRawDatagram(Bytes packet) {
  const auto ip = ReadIpHeader(packet, true);
  if (!ip || ip->Protocol != kIpProtocolIcmp) return std::nullopt;
  const Bytes icmp = packet.subspan(ip->HeaderBytes, ip->TotalBytes - ip->HeaderBytes);
  if (icmp.size() < kIcmpHeaderBytes || InternetChecksum(icmp) != 0) return std::nullopt;
  return icmp;
}

std::int32_t UnreachableStatus(std::uint8_t code) {
  switch (code) {
    case 0:   // net unreachable
    case 6:   // destination network unknown
    case 9:   // network administratively prohibited
    case 11:  // network unreachable for type of service
      return IpDestNetUnreachable;
    case 2:
      return IpDestProtUnreachable;
    case 3:
      return IpDestPortUnreachable;
    case 4:
      return IpPacketTooBig;
    case 5:
      return IpBadRoute;
    default:  // host unreachable, unknown, isolated, prohibited, precedence
      return IpDestHostUnreachable;
  }
}

}  // namespace

std::optional<std::int32_t> IcmpErrorStatus(std::uint8_t type, std::uint8_t code) {
  switch (type) {
    case kDestUnreachable:
      return UnreachableStatus(code);
    case kSourceQuench:
      return IpSourceQuench;
    case kTimeExceeded:
      return code == 0 ? IpTtlExpiredTransit : IpTtlExpiredReassem;
    case kParameterProblem:
      return IpParamProblem;
    default:
      return std::nullopt;
  }
}

std::optional<std::int32_t> Icmp6ErrorStatus(std::uint8_t type, std::uint8_t code) {
  switch (type) {
    case kIcmp6DestUnreachable:
      // 0 no route, 4 port unreachable; prohibited, beyond scope, address
      // unreachable, policy and reject route all mean this host is out of reach.
      if (code == 0) return IpDestNetUnreachable;
      return code == 4 ? IpDestPortUnreachable : IpDestHostUnreachable;
    case kIcmp6PacketTooBig:
      return IpPacketTooBig;
    case kIcmp6TimeExceeded:
      return code == 0 ? IpTtlExpiredTransit : IpTtlExpiredReassem;
    case kIcmp6ParameterProblem:
      return IpParamProblem;
    default:
      return std::nullopt;
  }
}

std::optional<std::int32_t> LocalErrorStatus(int error) {
  switch (error) {
    case EMSGSIZE:
      return IpPacketTooBig;
    case ENETUNREACH:
      return IpDestNetUnreachable;
    case EHOSTUNREACH:
      return IpDestHostUnreachable;
    case ENOBUFS:
    case ENOMEM:
      return IpNoResources;
    case EINVAL:  // a link-local IPv6 address without a zone: no link to send on
      return IpBadDestination;
    default:
      return std::nullopt;
  }
}

PacketMatch MatchReceivedPacket(EchoSocketKind kind, Bytes packet, const EchoDestination& source,
                                const EchoExpectation& expected) {
  Bytes icmp = packet;
  if (kind == EchoSocketKind::Raw && !IsIcmp6(expected)) {
    const auto part = IcmpPartOfRawDatagram(packet);
    if (!part) return {};
    icmp = *part;
  }
  if (icmp.size() < kIcmpHeaderBytes) return {};
  if (IsIcmp6(expected)) {
    if (icmp[0] == kIcmp6EchoReply) return MatchEchoReply(icmp, source, expected);
    return MatchQuotedRequest6(icmp, source, expected);
  }
  if (icmp[0] == kEchoReply) return MatchEchoReply(icmp, source, expected);
  return MatchQuotedRequest(icmp, source, expected);
}

PacketMatch MatchQueuedError(const QueuedError& error, const EchoExpectation& expected) {
  if (!SameAddress(error.OriginalDestination, expected.Destination)) return {};
  if (error.Origin == SO_EE_ORIGIN_LOCAL) {
    // Raised by our own send on our own socket (e.g. EMSGSIZE after a path
    // MTU drop): no quoted header to check.
    const auto status = LocalErrorStatus(static_cast<int>(error.Errno));
    if (!status) return {};
    return {PacketVerdict::Error, *status, 0};
  }
  const bool icmpv6 = IsIcmp6(expected);
  if (error.Origin != (icmpv6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP)) return {};
  const auto status =
      icmpv6 ? Icmp6ErrorStatus(error.Type, error.Code) : IcmpErrorStatus(error.Type, error.Code);
  if (!status || !IsOurRequest(error.Payload, expected)) return {};
  return {PacketVerdict::Error, *status, 0, error.Offender};
}

std::uint16_t InternetChecksum(Bytes bytes) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += Read16(bytes, i);
  if (i < bytes.size()) sum += static_cast<std::uint32_t>(bytes[i]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::vector<unsigned char> BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                            Bytes data, bool icmpv6) {
  std::vector<unsigned char> packet(kIcmpHeaderBytes + data.size());
  packet[0] = icmpv6 ? kIcmp6EchoRequest : kEchoRequest;
  packet[4] = static_cast<unsigned char>(identifier >> 8);
  packet[5] = static_cast<unsigned char>(identifier);
  packet[6] = static_cast<unsigned char>(sequence >> 8);
  packet[7] = static_cast<unsigned char>(sequence);
  std::ranges::copy(data, packet.begin() + kIcmpHeaderBytes);
  if (icmpv6) return packet;
  const std::uint16_t checksum = InternetChecksum(packet);
  packet[2] = static_cast<unsigned char>(checksum >> 8);
  packet[3] = static_cast<unsigned char>(checksum);
  return packet;
}

std::optional<std::uint16_t> AnsweredSequence(EchoSocketKind kind, Bytes packet, bool icmpv6) {
  Bytes icmp = packet;
  if (kind == EchoSocketKind::Raw && !icmpv6) {
    const auto part = IcmpPartOfRawDatagram(packet);
    if (!part) return std::nullopt;
    icmp = *part;
  }
  if (icmp.size() < kIcmpHeaderBytes) return std::nullopt;
  if (icmp[0] == (icmpv6 ? kIcmp6EchoReply : kEchoReply)) return Read16(icmp, 6);
  const Bytes quoted = icmp.subspan(kIcmpHeaderBytes);
  std::size_t headerBytes = kIpv6HeaderBytes;
  if (!icmpv6) {
    const auto inner = ReadIpHeader(quoted, false);
    if (!inner) return std::nullopt;
    headerBytes = inner->HeaderBytes;
  }
  if (quoted.size() < headerBytes + kIcmpHeaderBytes) return std::nullopt;
  return Read16(quoted, headerBytes + 6);
}

std::optional<std::uint16_t> QueuedErrorSequence(const QueuedError& error) {
  if (error.Origin == SO_EE_ORIGIN_LOCAL || error.Payload.size() < kIcmpHeaderBytes)
    return std::nullopt;
  return Read16(error.Payload, 6);
}

}  // namespace kelvoran
