#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/errqueue.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "engine/result_text.h"
#include "platform/family_resolver.h"
#include "platform/linux/icmp_packet.h"
#include "platform/linux/linux_echo_probe.h"
#include "platform/linux/resolver.h"
#include "tests/engine/failing_allocations.h"

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
Packet Datagram(Ipv4Address source, const Packet& payload, const Packet& options = {},
                Ipv4Address destination = kOther) {
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

Packet WithChecksum(Packet icmp) {
  icmp[2] = icmp[3] = 0;
  const auto sum = InternetChecksum(icmp);
  icmp[2] = static_cast<unsigned char>(sum >> 8);
  icmp[3] = static_cast<unsigned char>(sum);
  return icmp;
}

Packet EchoReply(std::uint16_t id, std::uint16_t seq, const Packet& data = kData) {
  Packet icmp = BuildEchoRequest(id, seq, data);
  icmp[0] = 0;
  return WithChecksum(icmp);
}

// An ICMP error of type/code quoting our request to quotedDestination, cut
// `missing` bytes short of the quoted ICMP header.
Packet IcmpError(std::uint8_t type, std::uint8_t code, Ipv4Address quotedDestination,
                 std::uint16_t seq, const Packet& quotedOptions = {}, std::size_t missing = 0) {
  Packet error = {type, code, 0, 0, 0, 0, 0, 0};
  const Packet quoted = Datagram(Address("198.18.1.2"), BuildEchoRequest(7, seq, kData),
                                 quotedOptions, quotedDestination);
  error.insert(error.end(), quoted.begin(),
               quoted.begin() + static_cast<long>(28 + quotedOptions.size() - missing));
  return WithChecksum(error);
}

class Matching : public ::testing::Test {
 protected:
  PacketMatch Raw(const Packet& packet, Ipv4Address from = kTarget) {
    return MatchReceivedPacket(EchoSocketKind::Raw, packet, from, expected);
  }
  EchoExpectation expected{kTarget, 7, 9, kData};
};

TEST_F(Matching, OurReplyOnBothSocketKindsAndErrorsQuotingOurRequestAreFound) {
  const auto onRaw = Raw(Datagram(kTarget, EchoReply(7, 9)));
  EXPECT_EQ(onRaw.Verdict, PacketVerdict::EchoReply);
  EXPECT_EQ(onRaw.DataSize, 5);
  EXPECT_EQ(MatchReceivedPacket(EchoSocketKind::Ping, EchoReply(7, 9), kTarget, expected).Verdict,
            PacketVerdict::EchoReply);
  const auto plain = Raw(Datagram(kOther, IcmpError(3, 1, kTarget, 9)), kOther);
  EXPECT_EQ(plain.Verdict, PacketVerdict::Error);
  EXPECT_EQ(plain.Status, IpDestHostUnreachable);
  // The quoted header's own length counts, not the usual 20 bytes.
  const auto withOptions = Raw(Datagram(kOther, IcmpError(11, 0, kTarget, 9, {1, 1, 1, 0})));
  EXPECT_EQ(withOptions.Verdict, PacketVerdict::Error);
  EXPECT_EQ(withOptions.Status, IpTtlExpiredTransit);
}

TEST_F(Matching, PacketsThatAreNotOursOrMalformedAreSkipped) {
  const Packet good = Datagram(kTarget, EchoReply(7, 9));
  const auto changed = [](Packet packet, std::size_t at, unsigned char value) {
    packet[at] = value;
    return packet;
  };
  const Packet aboutUdp = WithChecksum(changed(IcmpError(3, 1, kTarget, 9), 17, 17));
  const std::pair<const char*, Packet> cases[] = {
      {"other identifier", Datagram(kTarget, EchoReply(8, 9))},
      {"other sequence", Datagram(kTarget, EchoReply(7, 10))},
      {"other data", Datagram(kTarget, EchoReply(7, 9, {1, 2, 3, 4, 6}))},
      {"shorter data", Datagram(kTarget, EchoReply(7, 9, {1, 2, 3, 4}))},
      {"bad checksum", changed(good, 22, good[22] ^ 0x55)},
      {"longer than received", changed(good, 3, static_cast<unsigned char>(good[3] + 1))},
      {"header past the end", changed(good, 0, 0x4F)},
      {"header too short", changed(good, 0, 0x44)},
      {"not ICMP", changed(good, 9, 17)},
      {"not IPv4", changed(good, 0, 0x65)},
      {"total length shorter than the header", changed(good, 3, 10)},
      {"error about a UDP datagram", Datagram(kOther, aboutUdp)},
      {"cut in the ICMP header", Packet(good.begin(), good.begin() + 24)},
      {"empty", Packet{}},
      {"shorter than an IP header", Packet(19, 0x45)},
      {"error about another destination", Datagram(kOther, IcmpError(3, 1, kOther, 9))},
      {"error about another request", Datagram(kOther, IcmpError(3, 1, kTarget, 10))},
      {"error quoting too little", Datagram(kOther, IcmpError(3, 1, kTarget, 9, {}, 1))},
      {"redirect", Datagram(kOther, IcmpError(5, 1, kTarget, 9))}};
  for (const auto& [name, packet] : cases)
    EXPECT_EQ(Raw(packet).Verdict, PacketVerdict::Foreign) << name;
  EXPECT_EQ(Raw(Datagram(kOther, EchoReply(7, 9)), kOther).Verdict, PacketVerdict::Foreign)
      << "reply from another host";
}

TEST_F(Matching, QueuedErrorsAreOursOnlyForOurDestinationAndRequest) {
  const Packet ours = BuildEchoRequest(7, 9, kData);
  const auto match = [&](std::uint8_t origin, std::uint32_t error, Ipv4Address to,
                         const Packet& sent) {
    return MatchQueuedError({origin, 11, 0, error, to, sent}, expected);
  };
  EXPECT_EQ(match(SO_EE_ORIGIN_ICMP, EHOSTUNREACH, kTarget, ours).Status, IpTtlExpiredTransit);
  Packet otherCode = ours;
  otherCode[1] = 1;
  for (const auto& [to, sent] : {std::pair{kTarget, BuildEchoRequest(7, 10, kData)},
                                 {kOther, ours},
                                 {kTarget, otherCode},
                                 {kTarget, Packet(ours.begin(), ours.begin() + 7)}})
    EXPECT_EQ(match(SO_EE_ORIGIN_ICMP, 0, to, sent).Verdict, PacketVerdict::Foreign);
  EXPECT_EQ(match(SO_EE_ORIGIN_NONE, 0, kTarget, ours).Verdict, PacketVerdict::Foreign);
  const auto local = match(SO_EE_ORIGIN_LOCAL, EMSGSIZE, kTarget, {});
  EXPECT_EQ(local.Verdict, PacketVerdict::Error);
  EXPECT_EQ(local.Status, IpPacketTooBig);
}

Ipv6Address Address6(const char* text) {
  Ipv6Address address;
  inet_pton(AF_INET6, text, address.Bytes.data());
  return address;
}

const Ipv6Address kTarget6 = Address6("2001:2:0:a::1");
const Ipv6Address kOther6 = Address6("2001:2:0:a::2");

Packet Echo6Reply(std::uint16_t id, std::uint16_t seq, const Packet& data = kData) {
  Packet icmp = BuildEchoRequest(id, seq, data, true);
  icmp[0] = 129;
  return icmp;
}

// An ICMPv6 error quoting an IPv6 header to `to` (next header nextHeader)
// and our request, cut `missing` bytes short of its ICMPv6 header.
Packet Icmp6Error(std::uint8_t type, std::uint8_t code, const Ipv6Address& to, std::uint16_t seq,
                  std::uint8_t nextHeader = 58, std::size_t missing = 0) {
  Packet error = {type, code, 0, 0, 0, 0, 0, 0, 0x60, 0, 0, 0, 0, 0, nextHeader, 64};
  error.resize(error.size() + 16);  // source: not looked at
  error.insert(error.end(), to.Bytes.begin(), to.Bytes.end());
  const Packet request = BuildEchoRequest(7, seq, kData, true);
  error.insert(error.end(), request.begin(), request.end());
  error.resize(8 + 40 + 8 - missing);
  return error;
}

// ICMPv6 comes without its IPv6 header on both socket kinds, checksum checked
// by the kernel; only errors quote one.
TEST(Matching6, RepliesAndErrorsAboutOurIcmpv6RequestAreFoundAndNothingElse) {
  const EchoExpectation expected{kTarget6, 7, 9, kData};
  const auto match = [&](EchoSocketKind kind, const Packet& packet, const Ipv6Address& from) {
    return MatchReceivedPacket(kind, packet, from, expected);
  };
  Ipv6Address zoned = kTarget6;
  zoned.ScopeId = 3;  // the link a reply came in on does not make it foreign
  for (const auto kind : {EchoSocketKind::Ping, EchoSocketKind::Raw}) {
    EXPECT_EQ(match(kind, Echo6Reply(7, 9), zoned).Verdict, PacketVerdict::EchoReply);
  }
  const auto error = match(EchoSocketKind::Raw, Icmp6Error(1, 4, kTarget6, 9), kOther6);
  EXPECT_EQ(std::tie(error.Verdict, error.Status),
            std::tuple(PacketVerdict::Error, IpDestPortUnreachable));
  const std::pair<const char*, Packet> foreign[] = {
      {"ICMP echo reply", EchoReply(7, 9)},
      {"other identifier", Echo6Reply(8, 9)},
      {"other sequence", Echo6Reply(7, 10)},
      {"other data", Echo6Reply(7, 9, {1, 2, 3, 4, 6})},
      {"error about another destination", Icmp6Error(1, 4, kOther6, 9)},
      {"error about another request", Icmp6Error(1, 4, kTarget6, 10)},
      {"error quoting UDP", Icmp6Error(1, 4, kTarget6, 9, 17)},
      {"error quoting too little", Icmp6Error(1, 4, kTarget6, 9, 58, 1)},
      {"redirect", Icmp6Error(137, 0, kTarget6, 9)}};
  for (const auto& [name, packet] : foreign) {
    EXPECT_EQ(match(EchoSocketKind::Raw, packet, kTarget6).Verdict, PacketVerdict::Foreign) << name;
  }
  EXPECT_EQ(match(EchoSocketKind::Raw, Echo6Reply(7, 9), kOther6).Verdict, PacketVerdict::Foreign);
  const Packet sent = BuildEchoRequest(7, 9, kData, true);
  EXPECT_EQ(MatchQueuedError({SO_EE_ORIGIN_ICMP6, 2, 0, EMSGSIZE, kTarget6, sent}, expected).Status,
            IpPacketTooBig);
  EXPECT_EQ(MatchQueuedError({SO_EE_ORIGIN_ICMP, 3, 1, 0, kTarget6, sent}, expected).Verdict,
            PacketVerdict::Foreign);
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
  const std::tuple<std::uint8_t, std::uint8_t, std::int32_t> icmp6[] = {
      {1, 0, IpDestNetUnreachable},  {1, 1, IpDestHostUnreachable}, {1, 2, IpDestHostUnreachable},
      {1, 3, IpDestHostUnreachable}, {1, 4, IpDestPortUnreachable}, {1, 6, IpDestHostUnreachable},
      {2, 0, IpPacketTooBig},        {3, 0, IpTtlExpiredTransit},   {3, 1, IpTtlExpiredReassem},
      {4, 0, IpParamProblem}};
  for (const auto& [type, code, status] : icmp6) EXPECT_EQ(Icmp6ErrorStatus(type, code), status);
  EXPECT_FALSE(Icmp6ErrorStatus(129, 0));
  EXPECT_EQ(LocalErrorStatus(EINVAL), IpBadDestination) << "link-local address without a zone";
  EXPECT_EQ(LocalErrorStatus(EMSGSIZE), IpPacketTooBig);
  EXPECT_EQ(LocalErrorStatus(ENETUNREACH), IpDestNetUnreachable);
  for (const int error : {ENOBUFS, ENOMEM}) EXPECT_EQ(LocalErrorStatus(error), IpNoResources);
  EXPECT_FALSE(LocalErrorStatus(EPERM)) << "a firewall's refusal has no fitting status";
}

TEST(Checksum, ValidPacketsSumToZeroIncludingOddLengths) {
  for (std::size_t size : {0u, 1u, 5u, 1473u})
    EXPECT_EQ(InternetChecksum(BuildEchoRequest(0xFFFF, 0x8000, Packet(size, 0xAB))), 0);
  // Known sums: an odd last byte is a word's high half, and carries fold until
  // none is left.
  EXPECT_EQ(InternetChecksum(Packet{0x12}), 0xEDFF);
  EXPECT_EQ(InternetChecksum(Packet{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2}), 0xFFFD);
}

TEST(DottedParser, AcceptsTheClassicFormsOfAnAddress) {
  EXPECT_EQ(ParseDottedIpv4("198.18.10.1"), Address("198.18.10.1"));
  EXPECT_EQ(ParseDottedIpv4("127.1"), Address("127.0.0.1"));
  EXPECT_EQ(ParseDottedIpv4("0x7f.0.0.01"), Address("127.0.0.1"));
}

TEST(DottedParser, EverythingElseIsTheAllOnesValue) {
  for (const std::string& text :
       std::vector<std::string>{"", "server", "256.1.1.1", "1.2.3.4.5", "1.2.3.4 backup",
                                " 1.2.3.4", std::string("1.2.3.4\0x", 9)}) {
    EXPECT_EQ(ParseDottedIpv4(text), kNoAddress) << text;
  }
}

TEST(Resolver, KnowsNumbersAndTheHostsFileButNotNonsense) {
  EXPECT_EQ(ResolveIpv4("198.18.10.1"), Address("198.18.10.1"));
  EXPECT_EQ(ResolveIpv4("localhost"), Address("127.0.0.1"));
  EXPECT_FALSE(ResolveIpv4(""));
  EXPECT_FALSE(ResolveIpv4(std::string("localhost\0.example", 18)));
  EXPECT_EQ(ResolveIpv6("::1"), Address6("::1"));
  Ipv6Address zoned = Address6("fe80::1");
  zoned.ScopeId = 1;  // lo
  EXPECT_EQ(ResolveIpv6("fe80::1%lo"), zoned);
  EXPECT_FALSE(ResolveIpv6("198.18.10.1")) << "no IPv4-mapped addresses";
  EXPECT_FALSE(ResolveIpv6(std::string("::1\0x", 5)));
}

// Out of memory in the send step (the receive buffer, the request): the probe
// says so, and its ICMP socket is closed all the same.
TEST(LinuxEchoProbe, OutOfMemoryWhileSendingLeavesNoSocketOpen) {
  struct StarvedSend : LinuxEchoPlatform {
    std::optional<kelvoran::EchoReply> SendEcho(EchoHandle handle,
                                                const EchoDestination& destination,
                                                const unsigned char* data, std::uint16_t size,
                                                std::uint32_t timeoutMs) override {
      const testing::FailingAllocations failing;
      return LinuxEchoPlatform::SendEcho(handle, destination, data, size, timeoutMs);
    }
  } platform;
  const auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = openDescriptors();
  ProbeResult result;
  RunEchoProbe({"127.0.0.1", 32, 1, 0}, result, platform);
  if (result.ResultCode == ResultNoEchoHandle) GTEST_SKIP() << "no ICMP socket allowed here";
  EXPECT_EQ(result.ResultCode, ResultMemoryError);
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace kelvoran
