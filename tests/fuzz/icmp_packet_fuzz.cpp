// libFuzzer target for the ICMP packet parser: any bytes, as a received raw
// datagram, as a ping socket's message and as an error queue entry, must be
// judged without reading outside them. Built and run by scripts/fuzz-icmp.
// linux/errqueue.h uses struct timespec without including its header, so
// time.h must come first.
// clang-format off
#include <time.h>
#include <linux/errqueue.h>
// clang-format on

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/linux/icmp_packet.h"

namespace {

using kelvoran::Bytes;

// Raw datagrams with a bad ICMP checksum stop at the first check; with the
// first input byte odd, the checksum is set right so the deeper paths get fed.
std::vector<unsigned char> WithChecksumMended(Bytes packet) {
  std::vector<unsigned char> copy(packet.begin(), packet.end());
  if (copy.size() < 28) return copy;
  const std::size_t headerBytes = static_cast<std::size_t>(copy[0] & 0x0F) * 4;
  if (headerBytes + 8 > copy.size()) return copy;
  copy[headerBytes + 2] = copy[headerBytes + 3] = 0;
  const std::uint16_t sum = kelvoran::InternetChecksum(Bytes(copy).subspan(headerBytes));
  copy[headerBytes + 2] = static_cast<unsigned char>(sum >> 8);
  copy[headerBytes + 3] = static_cast<unsigned char>(sum);
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) return 0;
  const Bytes input(data, size);
  // Bit 1 of the first byte picks ICMPv6, whose address starts with the same
  // four bytes.
  kelvoran::Ipv4Address ipv4 = 0;
  std::memcpy(&ipv4, data + 1, 4);
  kelvoran::Ipv6Address ipv6;
  std::memcpy(ipv6.Bytes.data(), data + 1, 4);
  const kelvoran::EchoExpectation expected{(data[0] & 2) ? kelvoran::EchoDestination(ipv6) : ipv4,
                                           static_cast<std::uint16_t>(data[5] << 8 | data[6]),
                                           static_cast<std::uint16_t>(data[7] << 8 | data[8]),
                                           input.subspan(9, data[9] % 4)};
  const Bytes packet = input.subspan(12);
  const auto mended = (data[0] & 1) ? WithChecksumMended(packet)
                                    : std::vector<unsigned char>(packet.begin(), packet.end());

  kelvoran::MatchReceivedPacket(kelvoran::EchoSocketKind::Raw, mended, expected.Destination,
                                expected);
  kelvoran::MatchReceivedPacket(kelvoran::EchoSocketKind::Ping, packet, expected.Destination,
                                expected);
  const std::uint8_t origin =
      data[10] % 2 ? (data[0] & 2 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP) : SO_EE_ORIGIN_LOCAL;
  const kelvoran::QueuedError error{
      origin, static_cast<std::uint8_t>(data[10] >> 1), data[11], data[11], expected.Destination,
      packet};
  kelvoran::MatchQueuedError(error, expected);
  // The multiplexer reads the sequence number first, to find the probe.
  const bool icmpv6 = data[0] & 2;
  kelvoran::AnsweredSequence(kelvoran::EchoSocketKind::Raw, mended, icmpv6);
  kelvoran::AnsweredSequence(kelvoran::EchoSocketKind::Ping, packet, icmpv6);
  kelvoran::QueuedErrorSequence(error);
  return 0;
}
