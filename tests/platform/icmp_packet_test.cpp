#include "platform/icmp_packet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/errqueue.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/result_text.h"

namespace kelvoran {
namespace {

using Packet = std::vector<unsigned char>;

Ipv4Address Address(const char* text) {
  in_addr address{};
  inet_pton(AF_INET, text, &address);
  return address.s_addr;
}

const Ipv4Address kTarget = Address("198.18.10.1");
const Ipv4Address kOther = Address("198.18.10.2");
const Packet kData = {1, 2, 3, 4, 5};

// An IPv4 datagram around payload, with optional header options.
Packet Datagram(Ipv4Address source, Ipv4Address destination, const Packet& payload,
                const Packet& options = {}) {
  Packet ip(20 + options.size());
  ip[0] = static_cast<unsigned char>(0x40 | (ip.size() / 4));
  const auto total = ip.size() + payload.size();
  ip[2] = static_cast<unsigned char>(total >> 8);
  ip[3] = static_cast<unsigned char>(total);
  ip[8] = 64;
  ip[9] = 1;
  std::memcpy(&ip[12], &source, 4);
  std::memcpy(&ip[16], &destination, 4);
  std::copy(options.begin(), options.end(), ip.begin() + 20);
  ip.insert(ip.end(), payload.begin(), payload.end());
  return ip;
}

Packet EchoReply(std::uint16_t id, std::uint16_t seq, const Packet& data) {
  Packet icmp = BuildEchoRequest(id, seq, data);
  icmp[0] = 0;
  icmp[2] = icmp[3] = 0;
  const auto sum = InternetChecksum(icmp);
  icmp[2] = static_cast<unsigned char>(sum >> 8);
  icmp[3] = static_cast<unsigned char>(sum);
  return icmp;
}

// An ICMP error of type/code quoting our request to quotedDestination.
Packet IcmpError(std::uint8_t type, std::uint8_t code, Ipv4Address quotedDestination,
                 std::uint16_t seq, const Packet& quotedOptions = {}) {
  Packet error = {type, code, 0, 0, 0, 0, 0, 0};
  const Packet quoted = Datagram(Address("198.18.1.2"), quotedDestination,
                                 BuildEchoRequest(7, seq, kData), quotedOptions);
  error.insert(error.end(), quoted.begin(),
               quoted.begin() + static_cast<long>(28 + quotedOptions.size()));
  const auto sum = InternetChecksum(error);
  error[2] = static_cast<unsigned char>(sum >> 8);
  error[3] = static_cast<unsigned char>(sum);
  return error;
}

class Matching : public ::testing::Test {
 protected:
  PacketMatch Raw(const Packet& packet, Ipv4Address from = 0) {
    return MatchReceivedPacket(EchoSocketKind::Raw, packet, from ? from : kTarget, expected);
  }
  EchoExpectation expected{kTarget, 7, 9, kData};
};

TEST_F(Matching, OurEchoReplyIsFoundOnBothSocketKinds) {
  const auto onRaw = Raw(Datagram(kTarget, kOther, EchoReply(7, 9, kData)));
  EXPECT_EQ(onRaw.Verdict, PacketVerdict::EchoReply);
  EXPECT_EQ(onRaw.DataSize, 5);
  const auto onPing =
      MatchReceivedPacket(EchoSocketKind::Ping, EchoReply(7, 9, kData), kTarget, expected);
  EXPECT_EQ(onPing.Verdict, PacketVerdict::EchoReply);
}

TEST_F(Matching, RepliesThatAreNotOursAreSkipped) {
  const Packet changed = {1, 2, 3, 4, 6};
  const Packet shorter = {1, 2, 3, 4};
  for (const Packet& icmp : {EchoReply(8, 9, kData), EchoReply(7, 10, kData),
                             EchoReply(7, 9, changed), EchoReply(7, 9, shorter)}) {
    EXPECT_EQ(Raw(Datagram(kTarget, kOther, icmp)).Verdict, PacketVerdict::Foreign);
  }
  EXPECT_EQ(Raw(Datagram(kOther, kOther, EchoReply(7, 9, kData)), kOther).Verdict,
            PacketVerdict::Foreign);
}

TEST_F(Matching, MalformedRawDatagramsAreSkipped) {
  const Packet good = Datagram(kTarget, kOther, EchoReply(7, 9, kData));
  Packet badChecksum = good;
  badChecksum[22] ^= 0x55;
  Packet longerThanReceived = good;
  longerThanReceived[3] = static_cast<unsigned char>(longerThanReceived[3] + 1);
  Packet headerPastTheEnd = good;
  headerPastTheEnd[0] = 0x4F;  // IHL 15: 60 bytes, more than we hold
  Packet shortHeader = good;
  shortHeader[0] = 0x44;
  Packet notIcmp = good;
  notIcmp[9] = 17;
  const Packet cutInHeader(good.begin(), good.begin() + 24);
  for (const Packet& packet : {badChecksum, longerThanReceived, headerPastTheEnd, shortHeader,
                               notIcmp, cutInHeader, Packet{}, Packet(19, 0x45)}) {
    EXPECT_EQ(Raw(packet).Verdict, PacketVerdict::Foreign);
  }
}

TEST_F(Matching, AnErrorQuotingOurRequestGivesItsStatusWhateverTheQuotedHeaderLength) {
  const auto plain = Raw(Datagram(kOther, kOther, IcmpError(3, 1, kTarget, 9)));
  EXPECT_EQ(plain.Verdict, PacketVerdict::Error);
  EXPECT_EQ(plain.Status, IpDestHostUnreachable);
  const auto withOptions =
      Raw(Datagram(kOther, kOther, IcmpError(11, 0, kTarget, 9, {1, 1, 1, 0})));
  EXPECT_EQ(withOptions.Verdict, PacketVerdict::Error);
  EXPECT_EQ(withOptions.Status, IpTtlExpiredTransit);
}

TEST_F(Matching, ErrorsAboutOtherRequestsOrCutShortAreSkipped) {
  EXPECT_EQ(Raw(Datagram(kOther, kOther, IcmpError(3, 1, kOther, 9))).Verdict,
            PacketVerdict::Foreign);
  EXPECT_EQ(Raw(Datagram(kOther, kOther, IcmpError(3, 1, kTarget, 10))).Verdict,
            PacketVerdict::Foreign);
  Packet cut = IcmpError(3, 1, kTarget, 9);
  cut.resize(cut.size() - 1);  // the quoted ICMP header lacks a byte
  const auto sum = (cut[2] = cut[3] = 0, InternetChecksum(cut));
  cut[2] = static_cast<unsigned char>(sum >> 8);
  cut[3] = static_cast<unsigned char>(sum);
  EXPECT_EQ(Raw(Datagram(kOther, kOther, cut)).Verdict, PacketVerdict::Foreign);
  EXPECT_EQ(Raw(Datagram(kOther, kOther, IcmpError(5, 1, kTarget, 9))).Verdict,
            PacketVerdict::Foreign)
      << "a redirect is no answer";
}

TEST_F(Matching, QueuedErrorsAreOursOnlyForOurDestinationAndRequest) {
  const Packet ourRequest = BuildEchoRequest(7, 9, kData);
  QueuedError error{SO_EE_ORIGIN_ICMP, 11, 0, EHOSTUNREACH, kTarget, ourRequest};
  EXPECT_EQ(MatchQueuedError(error, expected).Status, IpTtlExpiredTransit);

  const Packet otherRequest = BuildEchoRequest(7, 10, kData);
  EXPECT_EQ(MatchQueuedError({SO_EE_ORIGIN_ICMP, 3, 1, 0, kTarget, otherRequest}, expected).Verdict,
            PacketVerdict::Foreign);
  EXPECT_EQ(MatchQueuedError({SO_EE_ORIGIN_ICMP, 3, 1, 0, kOther, ourRequest}, expected).Verdict,
            PacketVerdict::Foreign);
  const Packet cut(ourRequest.begin(), ourRequest.begin() + 7);
  EXPECT_EQ(MatchQueuedError({SO_EE_ORIGIN_ICMP, 3, 1, 0, kTarget, cut}, expected).Verdict,
            PacketVerdict::Foreign);
  const auto local = MatchQueuedError({SO_EE_ORIGIN_LOCAL, 0, 0, EMSGSIZE, kTarget, {}}, expected);
  EXPECT_EQ(local.Verdict, PacketVerdict::Error);
  EXPECT_EQ(local.Status, IpPacketTooBig);
}

TEST(IcmpStatus, ErrorsAndLocalFailuresMapToTheirIpStatus) {
  const std::pair<std::uint8_t, std::int32_t> unreachable[] = {
      {0, IpDestNetUnreachable},   {1, IpDestHostUnreachable}, {2, IpDestProtUnreachable},
      {3, IpDestPortUnreachable},  {4, IpPacketTooBig},        {5, IpBadRoute},
      {6, IpDestNetUnreachable},   {7, IpDestHostUnreachable}, {9, IpDestNetUnreachable},
      {10, IpDestHostUnreachable}, {13, IpDestHostUnreachable}};
  for (const auto& [code, status] : unreachable) EXPECT_EQ(IcmpErrorStatus(3, code), status);
  EXPECT_EQ(IcmpErrorStatus(11, 1), IpTtlExpiredReassem);
  EXPECT_EQ(IcmpErrorStatus(12, 0), IpParamProblem);
  EXPECT_EQ(IcmpErrorStatus(4, 0), IpSourceQuench);
  EXPECT_FALSE(IcmpErrorStatus(0, 0));
  EXPECT_EQ(LocalErrorStatus(EMSGSIZE), IpPacketTooBig);
  EXPECT_EQ(LocalErrorStatus(ENETUNREACH), IpDestNetUnreachable);
  EXPECT_FALSE(LocalErrorStatus(EPERM)) << "a firewall's refusal has no fitting status";
}

TEST(Checksum, ValidPacketsSumToZeroIncludingOddLengths) {
  for (std::size_t size : {0u, 1u, 5u, 1473u}) {
    const Packet data(size, 0xAB);
    EXPECT_EQ(InternetChecksum(BuildEchoRequest(0xFFFF, 0x8000, data)), 0);
  }
}

}  // namespace
}  // namespace kelvoran
