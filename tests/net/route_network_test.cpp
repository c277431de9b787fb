// Path probes on a real network: a chain of three routers in namespaces
// (tests/net/route_network.sh), each in turn dropping all from the probe, one
// rate-limiting its time-exceeded messages, two sending a range round in a
// loop; on ping and raw sockets, in IPv4 and IPv6.
//
// As root the program builds the network, runs itself again inside the probe
// namespace (`ip netns exec` also puts the namespace's hosts file in place)
// and removes the network; inside, it changes the routers' filters through
// the same script.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/linux_route_probe.h"

namespace kelvoran {
namespace {

std::string prefix;  // set when running inside the probe namespace

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

void Network(const std::string& arguments) {
  ASSERT_EQ(Shell(std::string("bash '") + KELVORAN_ROUTE_NETWORK + "' " + arguments), 0)
      << arguments;
}

struct Params {
  EchoSocketChoice Socket;
  bool Ipv6;
};

std::string ParamName(const testing::TestParamInfo<Params>& info) {
  return std::string(info.param.Socket == EchoSocketChoice::PingOnly ? "Ping" : "Raw") +
         (info.param.Ipv6 ? "Ipv6" : "Ipv4");
}

class RouteNetwork : public testing::TestWithParam<Params> {
 protected:
  void SetUp() override {
    if (prefix.empty()) GTEST_SKIP() << "needs root to build network namespaces";
  }
  // 198.18.N.H, or 2001:2:0:N::H in IPv6.
  std::string At(int network, int host) const {
    const std::string n = std::to_string(network), h = std::to_string(host);
    return GetParam().Ipv6 ? "2001:2:0:" + n + "::" + h : "198.18." + n + "." + h;
  }
  RouteTrace Trace(const std::string& host) {
    LinuxRoutePlatform platform(GetParam().Socket);
    const auto destination = platform.Resolve(host);
    EXPECT_TRUE(destination) << host;
    if (!destination) return {};
    TraceOptions options;
    options.TimeoutMs = 500;
    return TraceRoute(*destination, options, platform);
  }
  // The address of each hop kept, "" for a silent one.
  static std::vector<std::string> Addresses(const RouteTrace& trace) {
    std::vector<std::string> addresses;
    for (const RouteHop& hop : trace.Hops) addresses.push_back(hop.Address);
    return addresses;
  }
};

// Each node in turn drops all from the probe (none at first): the path ends
// at the destination, else with one silent hop after the last that answered.
TEST_P(RouteNetwork, EndsAtTheLastHopThatStillAnswers) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> drops = {
      {"", {At(41, 1), At(42, 2), At(43, 2), At(44, 2)}},
      {"r2", {At(41, 1), ""}},
      {"r3", {At(41, 1), At(42, 2), ""}},
      {"dest", {At(41, 1), At(42, 2), At(43, 2), ""}},
  };
  for (const auto& [node, addresses] : drops) {
    SCOPED_TRACE(node);
    if (!node.empty()) Network("drop " + prefix + " " + node);
    const RouteTrace trace = Trace(At(44, 2));
    if (!node.empty()) Network("pass " + prefix + " " + node);
    EXPECT_EQ(trace.End, node.empty() ? RouteEnd::Reached : RouteEnd::Silent);
    EXPECT_EQ(Addresses(trace), addresses);
    const RouteHop* last = LastAnsweringHop(trace);
    ASSERT_NE(last, nullptr);
    const std::size_t lastHop = addresses.size() - (node.empty() ? 0 : 1);
    EXPECT_EQ(last->HopLimit, static_cast<int>(lastHop));
    EXPECT_EQ(last->Received, 3);
    EXPECT_EQ(trace.Hops[1].Name, node == "r2" ? "" : "r2.route.test") << "by the hosts file";
  }
}

// An IPv4 router answers from its address towards the probe, an IPv6 one
// from the address the echo came in on: r2 is 198.18.42.2 at hops 2 and 4,
// but 2001:2:0:43::1 at hop 4, and the first repeat is r3's at hop 5.
TEST_P(RouteNetwork, ALoopIsCutAfterTheFirstRouterThatAnswersAgain) {
  const RouteTrace trace = Trace(At(50, 1));
  EXPECT_EQ(trace.End, RouteEnd::Loop);
  std::vector<std::string> path = {At(41, 1), At(42, 2), At(43, 2), At(42, 2)};
  if (GetParam().Ipv6) path = {At(41, 1), At(42, 2), At(43, 2), At(43, 1), At(43, 2)};
  EXPECT_EQ(Addresses(trace), path);
}

// r2 allows itself one error per 1.5 s once its burst is spent: the rounds,
// a time-out apart, find it answering some of the time, and the path goes on
// through it to the destination.
TEST_P(RouteNetwork, ARouterThatRateLimitsTimeExceededShowsLossAndThePathGoesOn) {
  Network("ratelimit " + prefix + " 1500");
  LinuxRoutePlatform platform(GetParam().Socket);
  const EchoDestination destination = *platform.Resolve(At(44, 2));
  const std::vector<int> spendTheBurst(8, 2);
  platform.SendWithHopLimits(destination, spendTheBurst, 200);
  TraceOptions options;
  options.LookUpNames = false;
  const RouteTrace trace = TraceRoute(destination, options, platform);
  Network("ratelimit " + prefix + " 0");
  EXPECT_EQ(trace.End, RouteEnd::Reached);
  ASSERT_EQ(trace.Hops.size(), 4u);
  EXPECT_EQ(trace.Hops[1].Sent, 3);
  EXPECT_GE(trace.Hops[1].Received, 1);
  EXPECT_LE(trace.Hops[1].Received, 2);
  EXPECT_EQ(trace.Hops[1].Address, At(42, 2));
  EXPECT_EQ(trace.Hops[2].Received, 3);
}

INSTANTIATE_TEST_SUITE_P(BothSocketKindsAndFamilies, RouteNetwork,
                         testing::Values(Params{EchoSocketChoice::PingOnly, false},
                                         Params{EchoSocketChoice::PingOnly, true},
                                         Params{EchoSocketChoice::RawOnly, false},
                                         Params{EchoSocketChoice::RawOnly, true}),
                         ParamName);

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) {
  using kelvoran::Shell;
  if (argc > 2 && std::string(argv[1]) == "--inside") {
    kelvoran::prefix = argv[2];
    argv[2] = argv[0];
    argc -= 2, argv += 2;
  } else if (geteuid() == 0) {
    const std::string prefix = "kvr-" + std::to_string(getpid());
    const std::string network = std::string("bash '") + KELVORAN_ROUTE_NETWORK + "' ";
    if (Shell(network + "up " + prefix + " >/dev/null") != 0) {
      std::fprintf(stderr, "the test network could not be built\n");
      Shell(network + "down " + prefix);
      return 1;
    }
    std::string inner = "ip netns exec " + prefix + "-probe /proc/" + std::to_string(getpid()) +
                        "/exe --inside " + prefix;
    for (int i = 1; i < argc; ++i) inner += std::string(" '") + argv[i] + "'";
    const int status = Shell(inner);
    Shell(network + "down " + prefix);
    return status;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
