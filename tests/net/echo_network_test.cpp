// The echo probe against a real network: namespaces, veth pairs, a router
// that rejects and loops, and user-space responders (tests/net/
// test_network.sh), in IPv4 and IPv6. Every case runs with a ping socket and
// with a raw socket.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/result_text.h"

extern char** environ;

namespace kelvoran {
namespace {

const std::string kPrefix = "kvp-" + std::to_string(getpid());
const std::string kProbeNamespace = kPrefix + "-probe";

// Runs argv and returns its standard output, or nothing if it failed.
std::optional<std::string> Capture(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t child = -1;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string output;
  char chunk[4096];
  for (ssize_t got; (got = read(pipeFds[0], chunk, sizeof chunk)) > 0;) {
    output.append(chunk, static_cast<std::size_t>(got));
  }
  close(pipeFds[0]);
  int status = 0;
  if (spawned != 0 || waitpid(child, &status, 0) != child) return std::nullopt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

bool Succeeds(const std::vector<std::string>& args) { return Capture(args).has_value(); }

class TestNetwork : public ::testing::Environment {
 public:
  void SetUp() override {
    if (geteuid() != 0) {
      skipReason = "needs root to build network namespaces";
    } else {
      failed = !Succeeds({"bash", KELVORAN_TEST_NETWORK, "up", kPrefix, KELVORAN_RESPONDER});
    }
  }
  void TearDown() override { Succeeds({"bash", KELVORAN_TEST_NETWORK, "down", kPrefix}); }
  std::string skipReason;
  bool failed = false;
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
std::vector<Outcome> Probe(const std::string& socket, const std::vector<std::string>& targets,
                           std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {
      "ip", "netns", "exec", kProbeNamespace, KELVORAN_PROBE_DRIVER, "--socket", socket};
  args.insert(args.end(), extra.begin(), extra.end());
  args.insert(args.end(), targets.begin(), targets.end());
  const auto output = Capture(args);
  std::vector<Outcome> outcomes;
  if (!output) return outcomes;
  std::istringstream lines(*output);
  Outcome o;
  while (lines >> o.code >> o.value >> o.rtt >> o.sent >> o.reply >> o.start) outcomes.push_back(o);
  return outcomes;
}

std::string Target(const std::string& host, std::uint32_t size = 32, int timeout = 1) {
  return host + ":" + std::to_string(size) + ":" + std::to_string(timeout);
}

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!network->skipReason.empty()) GTEST_SKIP() << network->skipReason;
    ASSERT_FALSE(network->failed) << "the test network could not be built";
  }
};

class EchoNetwork : public NetworkTest, public ::testing::WithParamInterface<std::string> {
 protected:
  const std::string& Socket() const { return GetParam(); }

  // Probes hosts all at once and expects each its own code.
  void ExpectCodes(const std::vector<std::pair<std::string, std::int32_t>>& cases,
                   int timeout = 1) {
    std::vector<std::string> targets;
    for (const auto& [host, code] : cases) targets.push_back(Target(host, 32, timeout));
    const auto outcomes = Probe(Socket(), targets);
    ASSERT_EQ(outcomes.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
      SCOPED_TRACE(cases[i].first);
      EXPECT_EQ(outcomes[i].code, cases[i].second);
      EXPECT_EQ(outcomes[i].value, 0);
      if (cases[i].second != ResultSuccess) {
        EXPECT_EQ(outcomes[i].rtt, 0u);
      }
    }
  }
};

// IPv6 literals (with a zone too) and a name with IPv6 addresses only go by
// ICMPv6; kv-target has both and keeps IPv4, as its IPv6 address drops all.
TEST_P(EchoNetwork, AnsweredEchoesReportTheirRoundTrip) {
  const std::vector<std::string> prompt = {"198.18.10.1",   "198.18.6.1",    "kv-target",
                                           "2001:2:0:a::1", "2001:2:0:6::1", "kv-target6",
                                           "::1",           "fe80::1%pr0"};
  std::vector<std::string> targets;
  for (const auto& host : prompt) targets.push_back(Target(host));
  for (const auto* waits50ms : {"198.18.10.2", "2001:2:0:a::2"}) {
    targets.push_back(Target(waits50ms, 32, 2));
  }
  const auto outcomes = Probe(Socket(), targets);
  ASSERT_EQ(outcomes.size(), targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    SCOPED_TRACE(targets[i]);
    EXPECT_EQ(outcomes[i].code, ResultSuccess);
    EXPECT_EQ(outcomes[i].sent, 32u);
    EXPECT_EQ(outcomes[i].reply, 32u);
    EXPECT_GT(outcomes[i].start, 1700000000);
    if (i < prompt.size()) {
      EXPECT_LT(outcomes[i].rtt, 50u);
    } else {
      EXPECT_GE(outcomes[i].rtt, 50u);
      EXPECT_LT(outcomes[i].rtt, 250u);
    }
  }
}

TEST_P(EchoNetwork, PacketSizesUpToTheLargestDatagramComeBackWhole) {
  // 1453 bytes of ICMPv6 data are fragmented by the sender, 65527 fill an
  // IPv6 payload.
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"198.18.10.1", 0},    {"198.18.10.1", 32},     {"198.18.10.1", 1024},
      {"198.18.10.1", 1473}, {"198.18.10.1", 65500},  {"198.18.10.1", 65536 + 32},
      {"2001:2:0:a::1", 0},  {"2001:2:0:a::1", 1453}, {"2001:2:0:a::1", 65527}};
  std::vector<std::string> targets;
  for (const auto& [host, size] : cases) targets.push_back(Target(host, size));
  const auto outcomes = Probe(Socket(), targets);
  ASSERT_EQ(outcomes.size(), targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    SCOPED_TRACE(targets[i]);
    const std::uint32_t size = cases[i].second;
    EXPECT_EQ(outcomes[i].code, ResultSuccess);
    EXPECT_EQ(outcomes[i].sent, size);
    EXPECT_EQ(outcomes[i].reply, size & 0xFFFFu);  // only 16 bits go on the wire
  }
}

TEST_P(EchoNetwork, OversizedPacketsAreTooBigNotTimedOut) {
  // 65535 data bytes do not fit an IPv4 datagram, 65528 no IPv6 payload:
  // sendto fails with EMSGSIZE. 1380 bytes meet the 1400-byte link: with DF
  // set, fragmentation needed; in IPv6, which routers never fragment, packet
  // too big. Each socket kind has its own targets, as the learnt path MTU
  // stays.
  const bool ping = Socket() == "ping";
  const auto outcomes =
      Probe(Socket(), {Target("198.18.10.1", 65535), Target("2001:2:0:a::1", 65528),
                       Target(ping ? "198.18.6.200" : "198.18.6.201", 1380),
                       Target(ping ? "2001:2:0:6::c8" : "2001:2:0:6::c9", 1380)});
  ASSERT_EQ(outcomes.size(), 4u);
  for (const auto& o : outcomes) EXPECT_EQ(o.code, IpPacketTooBig);
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

TEST_P(EchoNetwork, SilenceAndWrongAnswersTimeOut) {
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
               {"2001:2:0:a::c", ResultNoReply}});  // answers with one data bit changed
}

TEST_P(EchoNetwork, TheRightAnswerIsFoundAmongDuplicatesAndAFlood) {
  ExpectCodes({{"198.18.10.8", ResultSuccess}, {"198.18.10.9", ResultSuccess}}, 2);
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
               {"2001:2:0:a::1 backup", ResultResolveFailed}});
  const auto outcomes =
      Probe(Socket(), {Target("198.18.10.1", 32, 0), Target("198.18.10.1", 4294967295u)});
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].code, ResultBadParameter);
  EXPECT_EQ(outcomes[1].code, ResultMemoryError);
}

TEST_P(EchoNetwork, SixtyFourParallelProbesEachGetTheirOwnResult) {
  std::vector<std::pair<std::string, std::int32_t>> cases;
  for (int i = 0; i < 16; ++i) {
    const std::string n = std::to_string(i + 1);
    cases.emplace_back("198.18.6." + n, ResultSuccess);
    cases.emplace_back("198.18.3." + std::to_string(i), IpDestHostUnreachable);
    cases.emplace_back("198.18.4." + n, IpTtlExpiredTransit);
    cases.emplace_back("198.18.9." + n, ResultNoReply);
  }
  ExpectCodes(cases);
}

INSTANTIATE_TEST_SUITE_P(BothSocketKinds, EchoNetwork, ::testing::Values("ping", "raw"));

class EchoPermissions : public NetworkTest {
 protected:
  void SetPingGroupRange(const std::string& range) {
    ASSERT_TRUE(Succeeds({"ip", "netns", "exec", kProbeNamespace, "sysctl", "-qw",
                          "net.ipv4.ping_group_range=" + range}));
  }
  void TearDown() override { SetPingGroupRange("0 2147483647"); }
};

// The one range rules ping sockets of both families.
TEST_F(EchoPermissions, PingSocketsFirstRawSocketsAsFallbackElse600WithTheErrno) {
  constexpr auto kNobody = "65534";
  const std::vector<std::string> targets = {Target("198.18.10.1"), Target("2001:2:0:a::1")};
  const auto expectEach = [&](std::vector<std::string> user, std::int32_t code, std::int32_t value,
                              const char* why) {
    const auto outcomes = Probe("auto", targets, std::move(user));
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
