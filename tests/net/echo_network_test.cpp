// The echo probe against a real network: namespaces, veth pairs, a router
// that rejects and loops, and user-space responders (tests/net/
// test_network.sh), in IPv4 and IPv6. Every case runs with a ping socket and
// with a raw socket.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/result_text.h"

namespace kelvoran {
namespace {

const std::string kPrefix = "kvp-" + std::to_string(getpid());
const std::string kProbeNamespace = kPrefix + "-probe";

// Runs argv through the shell, each argument quoted, and returns its standard
// output, or nothing if it failed.
std::optional<std::string> Capture(const std::vector<std::string>& args) {
  std::string command;
  for (const std::string& arg : args) {
    command += " '";
    for (const char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += '\'';
  }
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string output;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    output.append(chunk, got);
  return pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

// Built once for the whole run, and only as root.
class TestNetwork : public ::testing::Environment {
 public:
  void SetUp() override {
    built = geteuid() == 0 &&
            Capture({"bash", KELVORAN_TEST_NETWORK, "up", kPrefix, KELVORAN_RESPONDER});
  }
  void TearDown() override { Capture({"bash", KELVORAN_TEST_NETWORK, "down", kPrefix}); }
  bool built = false;
};

TestNetwork* network = nullptr;

struct Outcome {
  std::int32_t code = -1;
  std::int32_t value = -1;
  std::uint32_t rtt = 0;
  std::uint32_t sent = 0;
  std::uint32_t reply = 0;
  std::int64_t start = 0;
};

// Probes every target at once, one thread each, inside the probe namespace.
std::vector<Outcome> Probe(std::vector<std::string> args, const std::vector<std::string>& targets) {
  args.insert(args.begin(), {"ip", "netns", "exec", kProbeNamespace, KELVORAN_PROBE_DRIVER});
  args.insert(args.end(), targets.begin(), targets.end());
  std::istringstream lines(Capture(args).value_or(""));
  std::vector<Outcome> outcomes;
  for (Outcome o; lines >> o.code >> o.value >> o.rtt >> o.sent >> o.reply >> o.start;)
    outcomes.push_back(o);
  return outcomes;
}

std::string Target(const std::string& host, std::uint32_t size = 32, int timeout = 1) {
  return host + ":" + std::to_string(size) + ":" + std::to_string(timeout);
}

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to build network namespaces";
    ASSERT_TRUE(network->built) << "the test network could not be built";
  }
};

struct Case {
  std::string host;
  std::int32_t code = ResultSuccess;
  std::uint32_t size = 32;
  std::optional<int> timeout = std::nullopt;  // unless the one for all
};

class EchoNetwork : public NetworkTest, public ::testing::WithParamInterface<std::string> {
 protected:
  // Probes the hosts all at once and expects each its own code; an answer
  // brings all the data back (only 16 bits of the size go on the wire), a
  // failure no round trip.
  std::vector<Outcome> ExpectCodes(const std::vector<Case>& cases, int timeout = 1) {
    std::vector<std::string> targets;
    for (const Case& c : cases)
      targets.push_back(Target(c.host, c.size, c.timeout.value_or(timeout)));
    const auto outcomes = Probe({"--socket", GetParam()}, targets);
    EXPECT_EQ(outcomes.size(), cases.size());
    for (std::size_t i = 0; i < outcomes.size() && i < cases.size(); ++i) {
      SCOPED_TRACE(targets[i]);
      const Outcome& o = outcomes[i];
      EXPECT_EQ(std::tie(o.code, o.value), std::tuple(cases[i].code, 0));
      if (cases[i].code == ResultSuccess) {
        EXPECT_EQ(std::tie(o.sent, o.reply), std::tuple(cases[i].size, cases[i].size & 0xFFFFu));
      } else {
        EXPECT_EQ(o.rtt, 0u);
      }
    }
    return outcomes;
  }
};

// IPv6 literals (with a zone too) and a name with IPv6 addresses only go by
// ICMPv6; kv-target has both and keeps IPv4, as its IPv6 address drops all.
// The last two wait 50 ms before they answer.
TEST_P(EchoNetwork, AnsweredEchoesReportTheirRoundTrip) {
  std::vector<Case> cases;
  for (const char* host :
       {"198.18.10.1", "198.18.6.1", "kv-target", "2001:2:0:a::1", "2001:2:0:6::1", "kv-target6",
        "::1", "fe80::1%pr0", "198.18.10.2", "2001:2:0:a::2"})
    cases.push_back({host});
  const auto outcomes = ExpectCodes(cases, 2);
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_GT(outcomes[i].start, 1700000000);
    EXPECT_EQ(outcomes[i].rtt >= 50u, i >= 8) << outcomes[i].rtt;
    EXPECT_LT(outcomes[i].rtt, 250u);
  }
}

// 1453 bytes of ICMPv6 data are fragmented by the sender, 65527 fill an IPv6
// payload. 65535 data bytes do not fit an IPv4 datagram, 65528 no IPv6
// payload: sendto fails with EMSGSIZE. 1380 bytes meet the 1400-byte link:
// with DF set, fragmentation needed; in IPv6, which routers never fragment,
// packet too big. Each socket kind has its own targets there, as the learnt
// path MTU stays.
TEST_P(EchoNetwork, PacketSizesUpToTheLargestDatagramComeBackWholeLargerAreTooBig) {
  const bool ping = GetParam() == "ping";
  ExpectCodes({{"198.18.10.1", ResultSuccess, 0},
               {"198.18.10.1", ResultSuccess, 1024},
               {"198.18.10.1", ResultSuccess, 1473},
               {"198.18.10.1", ResultSuccess, 65500},
               {"198.18.10.1", ResultSuccess, 65536 + 32},
               {"2001:2:0:a::1", ResultSuccess, 0},
               {"2001:2:0:a::1", ResultSuccess, 1453},
               {"2001:2:0:a::1", ResultSuccess, 65527},
               {"198.18.10.1", IpPacketTooBig, 65535},
               {"2001:2:0:a::1", IpPacketTooBig, 65528},
               {ping ? "198.18.6.200" : "198.18.6.201", IpPacketTooBig, 1380},
               {ping ? "2001:2:0:6::c8" : "2001:2:0:6::c9", IpPacketTooBig, 1380}});
}

TEST_P(EchoNetwork, IcmpErrorsBecomeTheirIpStatus) {
  ExpectCodes({{"198.18.3.1", IpDestHostUnreachable},
               {"198.18.3.17", IpDestNetUnreachable},
               {"198.18.3.33", IpDestPortUnreachable},
               {"198.18.3.49", IpDestProtUnreachable},
               {"198.18.3.65", IpDestNetUnreachable},      // net prohibited
               {"198.18.3.81", IpDestHostUnreachable},     // host prohibited
               {"198.18.3.97", IpDestHostUnreachable},     // administratively prohibited
               {"198.18.4.1", IpTtlExpiredTransit},        // routing loop
               {"198.18.1.99", IpDestHostUnreachable},     // no ARP answer on our own link
               {"198.18.10.11", IpDestHostUnreachable},    // quoted header with IP options
               {"2001:2:0:3::1", IpDestNetUnreachable},    // no route
               {"2001:2:0:3::11", IpDestHostUnreachable},  // administratively prohibited
               {"2001:2:0:3::21", IpDestHostUnreachable},  // address unreachable
               {"2001:2:0:3::31", IpDestPortUnreachable},
               {"2001:2:0:3::41", IpDestHostUnreachable},   // source address policy
               {"2001:2:0:3::51", IpDestHostUnreachable},   // reject route
               {"2001:2:0:4::1", IpTtlExpiredTransit},      // hop limit in a routing loop
               {"2001:2:0:1::99", IpDestHostUnreachable}},  // no neighbour answer
              2);
}

// Silence, and wrong answers among which the right one is found.
TEST_P(EchoNetwork, SilenceAndWrongAnswersTimeOutTheRightOneAmongThemIsFound) {
  ExpectCodes({{"198.18.10.3", ResultNoReply},    // drops the request
               {"198.18.9.1", ResultNoReply},     // router drops it silently
               {"198.18.12.1", ResultNoReply},    // a local blackhole refuses the send
               {"198.18.10.4", ResultNoReply},    // answers with another identifier
               {"198.18.10.5", ResultNoReply},    // answers from another address
               {"198.18.10.6", ResultNoReply},    // answers with half the data
               {"198.18.10.7", ResultNoReply},    // answers with a bad checksum
               {"198.18.10.10", ResultNoReply},   // answers with another sequence number
               {"2001:2:0:a::3", ResultNoReply},  // the same in IPv6, one more:
               {"2001:2:0:9::1", ResultNoReply},
               {"2001:2:0:a::4", ResultNoReply},
               {"2001:2:0:a::5", ResultNoReply},
               {"2001:2:0:a::6", ResultNoReply},
               {"2001:2:0:a::a", ResultNoReply},
               {"2001:2:0:a::c", ResultNoReply},  // answers with one data bit changed
               {"198.18.10.8", ResultSuccess},    // answers twice
               {"198.18.10.9", ResultSuccess}},   // a flood of foreign replies and errors first
              2);
}

TEST_P(EchoNetwork, BadHostTextsAndSettingsEndCleanly) {
  ExpectCodes({{"no-such-host.invalid", ResultResolveFailed},
               {"", ResultResolveFailed},
               {std::string(300, 'a'), ResultResolveFailed},
               {"h\xC3\xB6st", ResultResolveFailed},
               {"%s%s%n", ResultResolveFailed},
               {"my host", ResultResolveFailed},
               {"198.18.10.1 backup", ResultResolveFailed},
               {"fe80::1%no-such-link", ResultResolveFailed},
               {"2001:2:0:a::1 backup", ResultResolveFailed},
               {"198.18.10.1", ResultMemoryError, 4294967295u},
               {"198.18.10.1", ResultBadParameter, 32, 0}});
}

TEST_P(EchoNetwork, SixtyFourParallelProbesEachGetTheirOwnResult) {
  std::vector<Case> cases;
  for (int i = 0; i < 16; ++i) {
    const std::string n = std::to_string(i + 1);
    cases.push_back({"198.18.6." + n});
    cases.push_back({"198.18.3." + std::to_string(i), IpDestHostUnreachable});
    cases.push_back({"198.18.4." + n, IpTtlExpiredTransit});
    cases.push_back({"198.18.9." + n, ResultNoReply});
  }
  ExpectCodes(cases);
}

INSTANTIATE_TEST_SUITE_P(BothSocketKinds, EchoNetwork, ::testing::Values("ping", "raw"));

class EchoPermissions : public NetworkTest {
 protected:
  void SetPingGroupRange(const std::string& range) {
    ASSERT_TRUE(Capture({"ip", "netns", "exec", kProbeNamespace, "sysctl", "-qw",
                         "net.ipv4.ping_group_range=" + range}));
  }
  void TearDown() override {
    if (network->built) SetPingGroupRange("0 2147483647");
  }
};

// The one range rules ping sockets of both families.
TEST_F(EchoPermissions, PingSocketsFirstRawSocketsAsFallbackElse600WithTheErrno) {
  constexpr auto kNobody = "65534";
  const std::vector<std::string> targets = {Target("198.18.10.1"), Target("2001:2:0:a::1")};
  const auto expectEach = [&](const std::vector<std::string>& user, std::int32_t code,
                              std::int32_t value, const char* why) {
    const auto outcomes = Probe(user, targets);
    ASSERT_EQ(outcomes.size(), targets.size()) << why;
    for (const auto& o : outcomes)
      EXPECT_EQ(std::tie(o.code, o.value), std::tie(code, value)) << why;
  };
  expectEach({"--user", kNobody}, ResultSuccess, 0, "a ping socket needs no privilege");
  SetPingGroupRange("1 0");
  expectEach({}, ResultSuccess, 0, "root falls back to a raw socket");
  expectEach({"--user", kNobody}, ResultNoEchoHandle, EPERM, "the raw socket's refusal");
}

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  kelvoran::network = new kelvoran::TestNetwork;
  ::testing::AddGlobalTestEnvironment(kelvoran::network);
  return RUN_ALL_TESTS();
}
