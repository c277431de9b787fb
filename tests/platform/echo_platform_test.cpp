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

Packet Changed(Packet packet, std::size_t at, unsigned char value) {
  packet[at] = value;
  return packet;
}

Packet WithChecksum(Packet icmp) {
  icmp[2] = icmp[3] = 0;
  const auto sum = InternetChecksum(icmp);
  icmp[2] = static_cast<unsigned char>(sum >> 8);
  icmp[3] = static_cast<unsigned char>(sum);
  return icmp;
}

// An echo reply to our request, ICMPv6 if ipv6 (whose checksum the kernel
// checks on both socket kinds).
Packet Reply(std::uint16_t id, std::uint16_t seq, const Packet& data = kData, bool ipv6 = false) {
  Packet icmp = BuildEchoRequest(id, seq, data, ipv6);
  icmp[0] = ipv6 ? 129 : 0;
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

Ipv6Address Address6(const char* text) {
  Ipv6Address address;
  inet_pton(AF_INET6, text, address.Bytes.data());
  return address;
}

const Ipv6Address kTarget6 = Address6("2001:2:0:a::1");
const Ipv6Address kOther6 = Address6("2001:2:0:a::2");

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

// A match as verdict, IP status and data size, to compare whole.
using Found = std::tuple<PacketVerdict, std::int32_t, std::uint16_t>;
Found Fields(const PacketMatch& match) { return {match.Verdict, match.Status, match.DataSize}; }
const Found kForeign{PacketVerdict::Foreign, 0, 0};
const Found kOurReply{PacketVerdict::EchoReply, 0, 5};
Found Error(std::int32_t status) { return {PacketVerdict::Error, status, 0}; }

struct Received {
  const char* what;
  Packet packet;
  Found found = kForeign;
  std::optional<EchoDestination> from = std::nullopt;  // unless the expected destination
  EchoSocketKind kind = EchoSocketKind::Raw;
};

// Each packet as received from its source on a socket of its kind (a raw
// socket's IPv4 with its IP header, ICMPv6 without, a ping socket's without).
void ExpectFound(const std::vector<Received>& packets, const EchoExpectation& expected) {
  for (const Received& r : packets) {
    const auto match =
        MatchReceivedPacket(r.kind, r.packet, r.from.value_or(expected.Destination), expected);
    EXPECT_EQ(Fields(match), r.found) << r.what;
  }
}

TEST(Matching, OurRepliesAndErrorsQuotingOurRequestAreFoundForeignAndMalformedPacketsSkipped) {
  const Packet good = Datagram(kTarget, Reply(7, 9));
  const Packet aboutUdp = WithChecksum(Changed(IcmpError(3, 1, kTarget, 9), 17, 17));
  // The quoted header's own length counts, not the usual 20 bytes.
  const Packet errorWithOptions = Datagram(kOther, IcmpError(11, 0, kTarget, 9, {1, 1, 1, 0}));
  ExpectFound({{"reply", good, kOurReply},
               {"reply on a ping socket", Reply(7, 9), kOurReply, {}, EchoSocketKind::Ping},
               {"error", Datagram(kOther, IcmpError(3, 1, kTarget, 9)),
                Error(IpDestHostUnreachable), kOther},
               {"error quoting IP options", errorWithOptions, Error(IpTtlExpiredTransit)},
               {"reply from another host", Datagram(kOther, Reply(7, 9)), kForeign, kOther},
               {"other identifier", Datagram(kTarget, Reply(8, 9))},
               {"other sequence", Datagram(kTarget, Reply(7, 10))},
               {"other data", Datagram(kTarget, Reply(7, 9, {1, 2, 3, 4, 6}))},
               {"shorter data", Datagram(kTarget, Reply(7, 9, {1, 2, 3, 4}))},
               {"bad checksum", Changed(good, 22, good[22] ^ 0x55)},
               {"longer than received", Changed(good, 3, static_cast<unsigned char>(good[3] + 1))},
               {"header past the end", Changed(good, 0, 0x4F)},
               {"header too short", Changed(good, 0, 0x44)},
               {"not ICMP", Changed(good, 9, 17)},
               {"not IPv4", Changed(good, 0, 0x65)},
               {"total length shorter than the header", Changed(good, 3, 10)},
               {"error about a UDP datagram", Datagram(kOther, aboutUdp)},
               {"cut in the ICMP header", Packet(good.begin(), good.begin() + 24)},
               {"empty", Packet{}},
               {"shorter than an IP header", Packet(19, 0x45)},
               {"error about another destination", Datagram(kOther, IcmpError(3, 1, kOther, 9))},
               {"error about another request", Datagram(kOther, IcmpError(3, 1, kTarget, 10))},
               {"error quoting too little", Datagram(kOther, IcmpError(3, 1, kTarget, 9, {}, 1))},
               {"redirect", Datagram(kOther, IcmpError(5, 1, kTarget, 9))}},
              {kTarget, 7, 9, kData});
}

// ICMPv6 comes without its IPv6 header on both socket kinds, checksum checked
// by the kernel; only errors quote one.
TEST(Matching, RepliesAndErrorsAboutOurIcmpv6RequestAreFoundAndNothingElse) {
  Ipv6Address zoned = kTarget6;
  zoned.ScopeId = 3;  // the link a reply came in on does not make it foreign
  const Packet reply = Reply(7, 9, kData, true);
  ExpectFound({{"reply", reply, kOurReply, zoned},
               {"reply on a ping socket", reply, kOurReply, zoned, EchoSocketKind::Ping},
               {"error", Icmp6Error(1, 4, kTarget6, 9), Error(IpDestPortUnreachable), kOther6},
               {"reply from another host", reply, kForeign, kOther6},
               {"ICMP echo reply", Reply(7, 9)},
               {"other identifier", Reply(8, 9, kData, true)},
               {"other sequence", Reply(7, 10, kData, true)},
               {"other data", Reply(7, 9, {1, 2, 3, 4, 6}, true)},
               {"error about another destination", Icmp6Error(1, 4, kOther6, 9)},
               {"error about another request", Icmp6Error(1, 4, kTarget6, 10)},
               {"error quoting UDP", Icmp6Error(1, 4, kTarget6, 9, 17)},
               {"error quoting too little", Icmp6Error(1, 4, kTarget6, 9, 58, 1)},
               {"redirect", Icmp6Error(137, 0, kTarget6, 9)}},
              {kTarget6, 7, 9, kData});
}

TEST(Matching, QueuedErrorsAreOursOnlyForOurDestinationAndRequest) {
  const Packet ours = BuildEchoRequest(7, 9, kData);
  const Packet ours6 = BuildEchoRequest(7, 9, kData, true);
  // The errors' payloads only point at these.
  const Packet otherRequest = BuildEchoRequest(7, 10, kData), otherCode = Changed(ours, 1, 1);
  const Packet cutShort(ours.begin(), ours.begin() + 7);
  struct Queued {
    const char* what;
    QueuedError error;
    Found found = kForeign;
  };
  const Queued errors[] = {
      {"ours", {SO_EE_ORIGIN_ICMP, 11, 0, EHOSTUNREACH, kTarget, ours}, Error(IpTtlExpiredTransit)},
      {"local", {SO_EE_ORIGIN_LOCAL, 11, 0, EMSGSIZE, kTarget, {}}, Error(IpPacketTooBig)},
      {"other request", {SO_EE_ORIGIN_ICMP, 11, 0, 0, kTarget, otherRequest}},
      {"other destination", {SO_EE_ORIGIN_ICMP, 11, 0, 0, kOther, ours}},
      {"other code", {SO_EE_ORIGIN_ICMP, 11, 0, 0, kTarget, otherCode}},
      {"cut short", {SO_EE_ORIGIN_ICMP, 11, 0, 0, kTarget, cutShort}},
      {"no origin", {SO_EE_ORIGIN_NONE, 11, 0, 0, kTarget, ours}},
      {"ours in IPv6",
       {SO_EE_ORIGIN_ICMP6, 2, 0, EMSGSIZE, kTarget6, ours6},
       Error(IpPacketTooBig)},
      {"ICMP origin for IPv6", {SO_EE_ORIGIN_ICMP, 3, 1, 0, kTarget6, ours6}}};
  for (const auto& [what, error, found] : errors) {
    const EchoExpectation expected{
        IsIpv6(error.OriginalDestination) ? EchoDestination(kTarget6) : kTarget, 7, 9, kData};
    EXPECT_EQ(Fields(MatchQueuedError(error, expected)), found) << what;
  }
}

// A path probe's answers: time exceeded quoting our request (or as much of it
// as the router cut), found only when all it quotes is ours and named by the
// router that sent it; from a raw socket and from the error queue.
TEST(Matching, TimeExceededIsOursOnlyWhenAllItQuotesIsOursAndNamesItsRouter) {
  const Ipv4Address router = Address("198.18.2.1");
  const Packet request = BuildEchoRequest(7, 9, kData);
  Packet padded = request;
  padded.resize(128);  // RFC 4884
  const std::vector<std::tuple<const char*, Packet, bool, Ipv4Address>> quotes = {
      {"whole", request, true, kTarget},
      {"cut in the data", Packet(request.begin(), request.end() - 2), true, kTarget},
      {"padded", padded, true, kTarget},
      {"another identifier", BuildEchoRequest(8, 9, kData), false, kTarget},
      {"another sequence", BuildEchoRequest(7, 10, kData), false, kTarget},
      {"other data", BuildEchoRequest(7, 9, Packet{1, 2, 3, 9, 5}), false, kTarget},
      {"other data, cut", BuildEchoRequest(7, 9, Packet{1, 9}), false, kTarget},
      {"cut in the header", Packet(request.begin(), request.begin() + 7), false, kTarget},
      {"another destination", request, false, kOther},
  };
  for (const auto& [what, quoted, ours, to] : quotes) {
    Packet error = Datagram(Address("198.18.1.2"), quoted, {}, to);
    error.insert(error.begin(), {11, 0, 0, 0, 0, 0, 0, 0});
    const EchoExpectation expected{kTarget, 7, 9, kData};
    const QueuedError queued{SO_EE_ORIGIN_ICMP, 11, 0, EHOSTUNREACH, to, quoted, router};
    for (const PacketMatch& match :
         {MatchReceivedPacket(EchoSocketKind::Raw, Datagram(router, WithChecksum(error)), router,
                              expected),
          MatchQueuedError(queued, expected)}) {
      EXPECT_EQ(Fields(match), ours ? Error(IpTtlExpiredTransit) : kForeign) << what;
      EXPECT_EQ(match.From, EchoDestination(ours ? router : 0)) << what;
    }
  }
}

TEST(IcmpStatus, ErrorsAndLocalFailuresMapToTheirIpStatus) {
  // Type, code and IP status, none where it is no error; ICMP, then ICMPv6.
  using Row = std::tuple<std::uint8_t, std::uint8_t, std::optional<std::int32_t>>;
  const Row icmp[] = {
      {3, 0, IpDestNetUnreachable},   {3, 1, IpDestHostUnreachable},  {3, 2, IpDestProtUnreachable},
      {3, 3, IpDestPortUnreachable},  {3, 4, IpPacketTooBig},         {3, 5, IpBadRoute},
      {3, 6, IpDestNetUnreachable},   {3, 7, IpDestHostUnreachable},  {3, 9, IpDestNetUnreachable},
      {3, 10, IpDestHostUnreachable}, {3, 13, IpDestHostUnreachable}, {11, 1, IpTtlExpiredReassem},
      {12, 0, IpParamProblem},        {4, 0, IpSourceQuench},         {0, 0, std::nullopt}};
  for (const auto& [type, code, status] : icmp) EXPECT_EQ(IcmpErrorStatus(type, code), status);
  const Row icmp6[] = {
      {1, 0, IpDestNetUnreachable},  {1, 1, IpDestHostUnreachable}, {1, 2, IpDestHostUnreachable},
      {1, 3, IpDestHostUnreachable}, {1, 4, IpDestPortUnreachable}, {1, 6, IpDestHostUnreachable},
      {2, 0, IpPacketTooBig},        {3, 0, IpTtlExpiredTransit},   {3, 1, IpTtlExpiredReassem},
      {4, 0, IpParamProblem},        {129, 0, std::nullopt}};
  for (const auto& [type, code, status] : icmp6) EXPECT_EQ(Icmp6ErrorStatus(type, code), status);
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

TEST(DottedParser, AcceptsTheClassicFormsOfAnAddressElseGivesTheAllOnesValue) {
  EXPECT_EQ(ParseDottedIpv4("198.18.10.1"), Address("198.18.10.1"));
  EXPECT_EQ(ParseDottedIpv4("127.1"), Address("127.0.0.1"));
  EXPECT_EQ(ParseDottedIpv4("0x7f.0.0.01"), Address("127.0.0.1"));
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
