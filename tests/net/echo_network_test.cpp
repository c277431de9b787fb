// The echo probe against a real network: namespaces, veth pairs, a router
// that rejects and loops, and user-space responders (tests/net/
// test_network.sh), in IPv4 and IPv6, with a ping socket and with a raw
// socket, each probe on a thread of its own and all on the multiplexer. Only what the wire shows is
// here; what each packet means is tests/platform/echo_platform_test.cpp's.
//
// As root the program builds the network, runs itself again inside the probe
// namespace (`ip netns exec` also puts the namespace's hosts file and
// resolver configuration in place), and removes the network.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/result_mailbox.h"
#include "engine/result_text.h"
#include "platform/linux/echo_multiplexer.h"
#include "platform/linux/linux_echo_probe.h"

namespace kelvoran {
namespace {

bool inside = false;

struct Case {
  std::string host;
  std::int32_t code = ResultSuccess;
  std::uint32_t size = 32;
};

// Probes every case at once, one thread each, as the program does at one
// probe a second; with a multiplexer, as it does above: the multiplexer takes
// what it can, the rest (names) go to threads. Each job's HostId is its case.
std::vector<ProbeResult> ProbeAll(EchoSocketChoice socket, const std::vector<Case>& cases,
                                  int timeout, EchoMultiplexer* multiplexer = nullptr,
                                  ResultMailbox* mailbox = nullptr) {
  const ProbeFunction probe = LinuxEchoProbe(socket);
  std::vector<ProbeResult> results(cases.size());
  std::vector<std::thread> threads;
  std::size_t multiplexed = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    ProbeJobPtr job(new ProbeJob);
    job->Request = {cases[i].host, cases[i].size, timeout, static_cast<int>(i)};
    if (multiplexer && multiplexer->Take(job))
      ++multiplexed;
    else
      threads.emplace_back([&, i, request = job->Request] { probe(request, results[i]); });
  }
  if (multiplexer) multiplexer->Wake();
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(timeout + 20);
  while (multiplexed > 0 && std::chrono::steady_clock::now() < giveUp) {
    if (ProbeJobPtr job = mailbox->Take()) {
      results[static_cast<std::size_t>(job->Request.HostId)] = job->Result;
      --multiplexed;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  EXPECT_EQ(multiplexed, 0u) << "probes that never came back";
  for (std::thread& thread : threads) thread.join();
  return results;
}

struct Path {
  EchoSocketChoice socket;
  bool multiplexed;
};

std::string PathName(const ::testing::TestParamInfo<Path>& info) {
  return std::string(info.param.socket == EchoSocketChoice::PingOnly ? "Ping" : "Raw") +
         (info.param.multiplexed ? "Multiplexed" : "Threads");
}

class EchoNetwork : public ::testing::TestWithParam<Path> {
 protected:
  void SetUp() override {
    if (!inside) GTEST_SKIP() << "needs root to build network namespaces";
    if (!GetParam().multiplexed) return;
    multiplexer = std::make_unique<EchoMultiplexer>(mailbox, GetParam().socket);
    ASSERT_TRUE(multiplexer->Open());
  }
  std::vector<ProbeResult> Probe(const std::vector<Case>& cases, int timeout) {
    return ProbeAll(GetParam().socket, cases, timeout, multiplexer.get(), &mailbox);
  }
  // Expects each case its own code; an answer brings all the data back (only
  // 16 bits of the size go on the wire), a failure no round trip.
  std::vector<ProbeResult> ExpectCodes(const std::vector<Case>& cases, int timeout = 1) {
    const auto results = Probe(cases, timeout);
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const ProbeResult& r = results[i];
      SCOPED_TRACE(cases[i].host + ", " + std::to_string(cases[i].size));
      EXPECT_EQ(std::tie(r.ResultCode, r.ResultValue), std::tuple(cases[i].code, 0));
      if (cases[i].code == ResultSuccess)
        EXPECT_EQ(std::tie(r.SentSize, r.ReplySize),
                  std::tuple(cases[i].size, cases[i].size & 0xFFFFu));
      else
        EXPECT_EQ(r.RoundTripTime, 0u);
    }
    return results;
  }

  ResultMailbox mailbox;
  std::unique_ptr<EchoMultiplexer> multiplexer;
};

// IPv6 literals (with a zone too) and a name with IPv6 addresses only go by
// ICMPv6; kv-target has both and keeps IPv4, as its IPv6 address drops all.
// The last two wait 50 ms before they answer.
TEST_P(EchoNetwork, AnsweredEchoesReportTheirRoundTrip) {
  std::vector<Case> cases;
  for (const char* host : {"198.18.10.1", "kv-target", "2001:2:0:a::1", "kv-target6", "fe80::1%pr0",
                           "198.18.10.2", "2001:2:0:a::2"})
    cases.push_back({host});
  const auto results = ExpectCodes(cases, 2);
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_GT(results[i].StartTime, 1700000000);
    EXPECT_EQ(results[i].RoundTripTime >= 50u, i >= 5) << i << ": " << results[i].RoundTripTime;
    EXPECT_LT(results[i].RoundTripTime, 250u);
  }
}

// 65527 data bytes fill an IPv6 payload, 65500 a fragmented IPv4 datagram.
// 65535 bytes do not fit an IPv4 datagram, 65528 no IPv6 payload: sendto
// fails with EMSGSIZE. 1380 bytes meet the 1400-byte link: with DF set,
// fragmentation needed; in IPv6, packet too big. Each socket kind and path
// has its own targets there, as the learnt path MTU stays.
TEST_P(EchoNetwork, PacketSizesUpToTheLargestDatagramComeBackWholeLargerAreTooBig) {
  const int own =
      (GetParam().socket == EchoSocketChoice::PingOnly ? 0 : 1) + (GetParam().multiplexed ? 2 : 0);
  const std::string ipv4 = "198.18.6." + std::to_string(200 + own);
  const std::string ipv6 = "2001:2:0:6::c" + std::to_string(8 + own);
  ExpectCodes({{"198.18.10.1", ResultSuccess, 0},
               {"198.18.10.1", ResultSuccess, 65500},
               {"198.18.10.1", ResultSuccess, 65536 + 32},
               {"2001:2:0:a::1", ResultSuccess, 65527},
               {"198.18.10.1", IpPacketTooBig, 65535},
               {"2001:2:0:a::1", IpPacketTooBig, 65528},
               {ipv4, IpPacketTooBig, 1380},
               {ipv6, IpPacketTooBig, 1380}});
}

// An ICMP error from a router, a loop, a neighbour that never answers, and
// silence (a router's, a responder's, the probe's own blackhole route); a
// flood of foreign replies and errors about other requests before the right
// reply.
TEST_P(EchoNetwork, ErrorsSilenceAndForeignTrafficEachEndAsTheyShould) {
  ExpectCodes({{"198.18.3.1", IpDestHostUnreachable},
               {"198.18.4.1", IpTtlExpiredTransit},
               {"198.18.1.99", IpDestHostUnreachable},
               {"2001:2:0:3::31", IpDestPortUnreachable},
               {"2001:2:0:4::1", IpTtlExpiredTransit},
               {"2001:2:0:1::99", IpDestHostUnreachable},
               {"198.18.9.1", ResultNoReply},
               {"198.18.10.3", ResultNoReply},
               {"198.18.12.1", ResultNoReply},
               {"2001:2:0:a::3", ResultNoReply},
               {"198.18.10.9", ResultSuccess}},
              2);
}

// Texts the resolver must refuse whole rather than read in part.
TEST_P(EchoNetwork, BadHostTextsEndCleanly) {
  ExpectCodes({{"no-such-host.invalid", ResultResolveFailed},
               {std::string(300, 'a'), ResultResolveFailed},
               {"%s%s%n", ResultResolveFailed},
               {"198.18.10.1 backup", ResultResolveFailed},
               {"fe80::1%no-such-link", ResultResolveFailed}});
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

// A reply 500 ms after its probe's time-out, while the next probe to the host
// waits, and a reply sent twice, each count for nothing more.
TEST_P(EchoNetwork, LateAndRepeatedRepliesAreIgnored) {
  for (int round = 0; round < 2; ++round)
    ExpectCodes({{"198.18.10.4", ResultNoReply}, {"198.18.10.5"}});
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(mailbox.Take(), nullptr) << "a second result";
}

// Only the multiplexer: a thread each would be 70,000 threads.
class MultiplexedEchoNetwork : public EchoNetwork {};

// More probes than sequence numbers, silent ones holding 65,536 in flight
// while the rest wait and answered ones take numbers again and again: each
// gets its own result.
TEST_P(MultiplexedEchoNetwork, MoreProbesInFlightThanSequenceNumbers) {
  std::vector<Case> cases;
  for (int i = 0; i < 70'000; ++i) {
    if (i % 16 == 0)
      cases.push_back({"198.18.6." + std::to_string(1 + i / 16 % 200)});
    else
      cases.push_back({"198.18.9." + std::to_string(1 + i % 250), ResultNoReply});
  }
  const auto results = Probe(cases, 3);
  int wrong = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) wrong += results[i].ResultCode != cases[i].code;
  EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(BothSocketKindsBothPaths, EchoNetwork,
                         ::testing::Values(Path{EchoSocketChoice::PingOnly, false},
                                           Path{EchoSocketChoice::RawOnly, false},
                                           Path{EchoSocketChoice::PingOnly, true},
                                           Path{EchoSocketChoice::RawOnly, true}),
                         PathName);
INSTANTIATE_TEST_SUITE_P(BothSocketKinds, MultiplexedEchoNetwork,
                         ::testing::Values(Path{EchoSocketChoice::PingOnly, true},
                                           Path{EchoSocketChoice::RawOnly, true}),
                         PathName);

void SetPingGroupRange(const char* range) {
  std::ofstream("/proc/sys/net/ipv4/ping_group_range") << range;
}

// The codes of an IPv4 and an IPv6 probe, run by "nobody" in a child process
// when asked, on threads or on a multiplexer.
std::vector<std::pair<std::int32_t, std::int32_t>> ProbeBothFamilies(bool asNobody,
                                                                     bool multiplexed) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t child = asNobody ? fork() : 0;
  if (child == 0 &&
      (!asNobody || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0))) {
    ResultMailbox mailbox;
    EchoMultiplexer multiplexer(mailbox, EchoSocketChoice::PingThenRaw);
    const bool opened = multiplexed && multiplexer.Open();
    for (const ProbeResult& r :
         ProbeAll(EchoSocketChoice::PingThenRaw, {{"198.18.10.1"}, {"2001:2:0:a::1"}}, 1,
                  opened ? &multiplexer : nullptr, &mailbox))
      dprintf(pipeFds[1], "%d %d\n", r.ResultCode, r.ResultValue);
  }
  if (child == 0 && asNobody) _exit(0);
  close(pipeFds[1]);
  if (asNobody) waitpid(child, nullptr, 0);
  std::vector<std::pair<std::int32_t, std::int32_t>> codes;
  FILE* in = fdopen(pipeFds[0], "r");
  for (std::int32_t code, value; std::fscanf(in, "%d %d", &code, &value) == 2;)
    codes.emplace_back(code, value);
  std::fclose(in);
  return codes;
}

// Ping sockets first, raw sockets as fallback, else 600 with the errno; the
// one range rules ping sockets of both families.
TEST(EchoPermissions, PingSocketsFirstRawSocketsAsFallbackElse600WithTheErrno) {
  if (!inside) GTEST_SKIP() << "needs root to build network namespaces";
  using Codes = std::vector<std::pair<std::int32_t, std::int32_t>>;
  const Codes answered(2, {ResultSuccess, 0}), refused(2, {ResultNoEchoHandle, EPERM});
  for (const bool multiplexed : {false, true}) {
    SCOPED_TRACE(multiplexed ? "multiplexed" : "threads");
    EXPECT_EQ(ProbeBothFamilies(true, multiplexed), answered) << "a ping socket needs no privilege";
    SetPingGroupRange("1 0");
    EXPECT_EQ(ProbeBothFamilies(false, multiplexed), answered) << "root falls back to a raw socket";
    EXPECT_EQ(ProbeBothFamilies(true, multiplexed), refused) << "the raw socket's refusal";
    SetPingGroupRange("0 2147483647");
  }
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) {
  using kelvoran::Shell;
  if (argc > 1 && std::string(argv[1]) == "--inside") {
    kelvoran::inside = true;
    argv[1] = argv[0];
    --argc, ++argv;
  } else if (geteuid() == 0) {
    const std::string prefix = "kvp-" + std::to_string(getpid());
    const std::string network = std::string("bash '") + KELVORAN_TEST_NETWORK + "' ";
    if (Shell(network + "up " + prefix + " '" + KELVORAN_RESPONDER + "' >/dev/null") != 0) {
      std::fprintf(stderr, "the test network could not be built\n");
      return 1;
    }
    std::string inner =
        "ip netns exec " + prefix + "-probe /proc/" + std::to_string(getpid()) + "/exe --inside";
    for (int i = 1; i < argc; ++i) inner += std::string(" '") + argv[i] + "'";
    const int status = Shell(inner);
    Shell(network + "down " + prefix);
    return status;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
