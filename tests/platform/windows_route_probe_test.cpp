// The path probe's platform on Windows, run under Wine. Loopback answers
// anywhere. The chain test needs the routers of route_network.sh, which
// route_chain_windows.sh builds as root and names in the environment:
//   KELVORAN_ROUTE_HOPS   the addresses that answer hop limits 1, 2, ... in
//                         turn, the destination last
//   KELVORAN_ROUTE_LAST   the last hop that answers while the script drops
//                         everything at the hop after it
//   KELVORAN_ROUTE_REJECTED  set when that last hop refuses to forward with
//                         "host unreachable" instead of dropping
//   KELVORAN_ROUTE_NAMES  the hosts-file name of each of those addresses
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include "platform/windows/windows_route_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace kelvoran {
namespace {

std::vector<std::string> Words(const char* variable) {
  const char* text = std::getenv(variable);
  std::istringstream words(text != nullptr ? text : "");
  std::vector<std::string> list;
  for (std::string word; words >> word;) list.push_back(word);
  return list;
}

std::string Text(const EchoDestination& address) {
  if (const auto* ipv4 = std::get_if<Ipv4Address>(&address)) {
    in_addr bytes{};
    bytes.s_addr = *ipv4;
    return inet_ntoa(bytes);
  }
  return "(IPv6)";
}

std::vector<int> HopLimits(int count) {
  std::vector<int> limits(static_cast<std::size_t>(count));
  std::iota(limits.begin(), limits.end(), 1);
  return limits;
}

TEST(WindowsRoutePlatform, LoopbackAnswersEveryHopLimitAsTheDestination) {
  WindowsRoutePlatform platform;
  const auto destination = platform.Resolve("127.0.0.1");
  ASSERT_TRUE(destination.has_value());
  // More than the 64 events one wait takes, and the largest hop limit.
  std::vector<int> limits = HopLimits(70);
  limits.push_back(255);
  const auto answers = platform.SendWithHopLimits(*destination, limits, 1000);
  ASSERT_EQ(answers.size(), limits.size());
  for (std::size_t i = 0; i < limits.size(); ++i) {
    EXPECT_EQ(answers[i].HopLimit, limits[i]);
    EXPECT_EQ(answers[i].Kind, HopAnswerKind::EchoReply) << limits[i];
    EXPECT_EQ(Text(answers[i].From), "127.0.0.1");
    EXPECT_LT(answers[i].RoundTripMicros, 500'000u);
  }
}

// Wine's Icmp6CreateFile fails with ERROR_CALL_NOT_IMPLEMENTED: nothing can
// be sent (no answers, a failed path), and the test says why it cannot check
// more.
TEST(WindowsRoutePlatform, Ipv6LoopbackAnswersThroughIcmpv6) {
  const HANDLE probe = Icmp6CreateFile();
  if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
    WindowsRoutePlatform platform;
    const auto answers = platform.SendWithHopLimits(*platform.Resolve("::1"), HopLimits(2), 100);
    EXPECT_TRUE(answers.empty());
    GTEST_SKIP() << "Icmp6CreateFile is not implemented on this system (Wine): no IPv6 path";
  }
  ASSERT_NE(probe, INVALID_HANDLE_VALUE);
  IcmpCloseHandle(probe);
  WindowsRoutePlatform platform;
  const auto answers = platform.SendWithHopLimits(*platform.Resolve("::1"), HopLimits(2), 1000);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1].Kind, HopAnswerKind::EchoReply);
}

// The routers and the destination answer up to the last hop that still
// passes echoes; everything sent further stays silent. All hop limits go out
// at once, so the silent ones cost one time-out together, not one each.
TEST(WindowsRouteChain, AnswersEndAtTheLastHopThatStillAnswers) {
  const std::vector<std::string> hops = Words("KELVORAN_ROUTE_HOPS");
  const std::vector<std::string> names = Words("KELVORAN_ROUTE_NAMES");
  if (hops.empty()) GTEST_SKIP() << "needs the routers of route_chain_windows.sh (root)";
  const int last = std::atoi(std::getenv("KELVORAN_ROUTE_LAST"));
  const bool rejected = std::getenv("KELVORAN_ROUTE_REJECTED") != nullptr;
  const int destinationHop = static_cast<int>(hops.size());
  WindowsRoutePlatform platform;
  const auto destination = platform.Resolve(hops.back());
  ASSERT_TRUE(destination.has_value());

  constexpr std::uint32_t timeoutMs = 1000;
  const auto started = std::chrono::steady_clock::now();
  const auto answers = platform.SendWithHopLimits(*destination, HopLimits(8), timeoutMs);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(answers.size(), 8u);

  const bool routersSilent = last > 1 && answers[0].Kind == HopAnswerKind::Silent;
  const bool reached = answers[hops.size() - 1].Kind == HopAnswerKind::EchoReply;
  if (routersSilent && last == destinationHop && reached) {
    GTEST_SKIP() << "no time-exceeded answers: Wine sends from a ping socket here (no raw "
                    "socket for its user), and Linux hands a ping socket's ICMP errors only to "
                    "its error queue, which Wine does not read";
  }
  for (int hop = 1; hop <= 8; ++hop) {
    const HopAnswer& answer = answers[static_cast<std::size_t>(hop - 1)];
    SCOPED_TRACE("hop " + std::to_string(hop));
    EXPECT_EQ(answer.HopLimit, hop);
    if (hop > last && last < destinationHop) {
      if (rejected) {
        EXPECT_EQ(answer.Kind, HopAnswerKind::Unreachable);
        EXPECT_EQ(answer.Status, 11003);  // IP_DEST_HOST_UNREACHABLE
        EXPECT_EQ(Text(answer.From), hops[static_cast<std::size_t>(last - 1)]);
      } else {
        EXPECT_EQ(answer.Kind, HopAnswerKind::Silent);
      }
      continue;
    }
    const bool atDestination = hop >= destinationHop;
    EXPECT_EQ(answer.Kind, atDestination ? HopAnswerKind::EchoReply : HopAnswerKind::TimeExceeded);
    EXPECT_EQ(Text(answer.From), hops[static_cast<std::size_t>(std::min(hop, destinationHop) - 1)]);
  }
  EXPECT_LT(took, std::chrono::milliseconds(2 * timeoutMs));

  // The routers' names from the namespace's hosts file; an address without
  // one has none, within the bound.
  for (std::size_t i = 0; i < names.size() && i < hops.size(); ++i) {
    EXPECT_EQ(platform.ReverseName(*platform.Resolve(hops[i]), 2000), names[i]);
  }
  EXPECT_EQ(platform.ReverseName(*platform.Resolve("198.18.99.99"), 2000), "");
}

}  // namespace
}  // namespace kelvoran
