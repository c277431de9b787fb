// The echo probe on Windows, run under Wine, on both paths: a thread per
// probe, and the echo service that probes many from one thread. Loopback
// answers anywhere; the silent and refused destinations need the test network
// scripts/test-windows builds as root: a network namespace whose dummy link
// (no ARP) swallows 198.18.2.0/24 and whose routing table refuses
// 198.18.3.0/24.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <span>
#include <thread>
#include <vector>

#include "engine/echo_service.h"
#include "engine/result_mailbox.h"
#include "engine/result_text.h"
#include "platform/system_services.h"

namespace kelvoran {
namespace {

enum class Path { Threads, Service };

// The results of probes of the hosts, in their order. On the service's path
// the hosts it does not take (names) get a thread each, as the scheduler
// gives them.
std::vector<ProbeResult> ProbeAll(Path path, const std::vector<std::string>& hosts,
                                  std::uint32_t packetSize = 32) {
  std::vector<ProbeResult> results(hosts.size());
  ResultMailbox mailbox;
  std::unique_ptr<EchoService> service;
  if (path == Path::Service) {
    service = SystemEchoService()(mailbox);
    EXPECT_NE(service, nullptr) << "no echo service started";
  }
  std::size_t taken = 0;
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    ProbeJobPtr job(new ProbeJob);
    job->Request = {hosts[i], packetSize, 1, static_cast<std::int32_t>(i)};
    if (service && service->Take(job)) {
      ++taken;
      continue;
    }
    threads.emplace_back(
        [&results, i, request = job->Request] { SystemEchoProbe()(request, results[i]); });
  }
  if (service) service->Wake();
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (taken > 0 && std::chrono::steady_clock::now() < giveUp) {
    if (ProbeJobPtr job = mailbox.Take()) {
      results[static_cast<std::size_t>(job->Request.HostId)] = job->Result;
      --taken;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  EXPECT_EQ(taken, 0u) << "probes that never came back";
  for (std::thread& thread : threads) thread.join();
  return results;
}

class WindowsEchoProbe : public ::testing::TestWithParam<Path> {
 protected:
  ProbeResult Probe(const std::string& host, std::uint32_t packetSize = 32) {
    return ProbeAll(GetParam(), {host}, packetSize).front();
  }
};

// A probe to 198.18.x.x runs only where it cannot leave the machine: with no
// default route, and with a route of the test network's own for 198.18.2.0/24.
// Wine answers from its network service, so this is the table its ICMP uses.
bool InTestNetwork() {
  ULONG size = 0;
  if (GetIpForwardTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return false;
  std::vector<unsigned char> buffer(size);
  auto* table = reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data());
  if (GetIpForwardTable(table, &size, FALSE) != NO_ERROR) return false;
  const std::span rows(table->table, table->dwNumEntries);
  const auto isDefault = [](const MIB_IPFORWARDROW& row) { return row.dwForwardMask == 0; };
  const auto dropsProbes = [](const MIB_IPFORWARDROW& row) {
    return row.dwForwardDest == inet_addr("198.18.2.0");
  };
  return std::ranges::none_of(rows, isDefault) && std::ranges::any_of(rows, dropsProbes);
}

TEST_P(WindowsEchoProbe, LoopbackEchoesEveryDataSizeBackWithItsRoundTrip) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"127.0.0.1", 0}, {"127.0.0.1", 32}, {"localhost", 65500}};
  for (const auto& [host, size] : cases) {
    const ProbeResult result = Probe(host, size);
    EXPECT_EQ(result.ResultCode, ResultSuccess) << host << " " << size;
    EXPECT_EQ(result.SentSize, size);
    EXPECT_EQ(result.ReplySize, size);
    EXPECT_LT(result.RoundTripTime, 100u);
    EXPECT_GT(result.StartTime, 1700000000);
  }
}

// An IPv6 literal is resolved and goes to the ICMPv6 calls. Wine has none
// (Icmp6CreateFile fails with ERROR_CALL_NOT_IMPLEMENTED), so there the test
// sees "::1" resolved (not 230) and stops at the handle.
TEST_P(WindowsEchoProbe, Ipv6LoopbackAnswersThroughIcmpv6) {
  const ProbeResult result = Probe("::1");
  if (result.ResultCode == ResultNoEchoHandle && result.ResultValue == ERROR_CALL_NOT_IMPLEMENTED) {
    GTEST_SKIP() << "Icmp6CreateFile is not implemented on this system";
  }
  EXPECT_EQ(result.ResultCode, ResultSuccess);
  EXPECT_EQ(result.ReplySize, 32u);
  EXPECT_LT(result.RoundTripTime, 100u);
}

TEST_P(WindowsEchoProbe, SilenceRefusedRoutesAndUnknownNamesEachHaveTheirCode) {
  if (!InTestNetwork()) {
    GTEST_SKIP() << "needs the network namespace scripts/test-windows builds when run as root";
  }
  const std::pair<const char*, std::int32_t> cases[] = {
      {"198.18.2.1", ResultNoReply},
      {"198.18.3.1", IpDestHostUnreachable},
      {"no-such-host.invalid", ResultResolveFailed},
      {"", ResultResolveFailed}};  // gethostbyname("") would be this machine
  for (const auto& [host, code] : cases) {
    const ProbeResult result = Probe(host);
    EXPECT_EQ(result.ResultCode, code) << host;
    EXPECT_EQ(result.ResultValue, 0);
    EXPECT_EQ(result.RoundTripTime, 0u);
  }
}

// Many at once from the service's one thread: each its own result.
TEST_P(WindowsEchoProbe, ManyProbesAtOnceEachGetTheirOwnResult) {
  std::vector<std::string> hosts;
  std::vector<std::int32_t> codes;
  const bool network = InTestNetwork();
  for (int i = 0; i < 60; ++i) {
    const std::string n = std::to_string(i + 1);
    hosts.push_back("127.0.0." + n);
    codes.push_back(ResultSuccess);
    if (!network) continue;
    hosts.push_back("198.18.2." + n);
    codes.push_back(ResultNoReply);
    hosts.push_back("198.18.3." + n);
    codes.push_back(IpDestHostUnreachable);
  }
  const auto results = ProbeAll(GetParam(), hosts);
  for (std::size_t i = 0; i < hosts.size(); ++i)
    EXPECT_EQ(results[i].ResultCode, codes[i]) << hosts[i];
}

INSTANTIATE_TEST_SUITE_P(BothPaths, WindowsEchoProbe,
                         ::testing::Values(Path::Threads, Path::Service),
                         [](const ::testing::TestParamInfo<Path>& param) {
                           return param.param == Path::Threads ? "Threads" : "Service";
                         });

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!kelvoran::StartNetworkServices()) return 1;
  return RUN_ALL_TESTS();
}
