// The path a trace records from scripted answers: where it ends, which hops
// it keeps, what each hop's tally says, and how many echoes it cost.
#include "route/route_trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "route/address_text.h"

namespace kelvoran {
namespace {

Ipv6Address Ipv6(std::initializer_list<unsigned char> bytes) {
  Ipv6Address address;
  std::copy(bytes.begin(), bytes.end(), address.Bytes.begin());
  return address;
}

Ipv4Address Ipv4(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  const unsigned char bytes[] = {a, b, c, d};
  Ipv4Address address = 0;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

TEST(AddressText, CanonicalForms) {
  const std::vector<std::pair<EchoDestination, std::string>> cases = {
      {Ipv4(198, 18, 0, 1), "198.18.0.1"},
      {Ipv4(0, 0, 0, 0), "0.0.0.0"},
      {Ipv6({}), "::"},
      {Ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "::1"},
      {Ipv6({0x20, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "2001:2::1"},
      {Ipv6({0x20, 1, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}), "2001:db8::1:0:0:1"},
      {Ipv6({0x20, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}), "2001:0:0:1::1"},
      {Ipv6({0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}), "1:0:1:0:1:0:1:0"},
      {Ipv6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xab, 0xcd}), "fe80::abcd"},
      {Ipv6({0, 0xab, 0, 0xcd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), "ab:cd::"},
      {Ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 198, 18, 1, 2}), "::ffff:198.18.1.2"},
  };
  for (const auto& [address, text] : cases) EXPECT_EQ(AddressText(address), text);
}

// One hop of a scripted path: who answers there, how, and in which rounds
// ('1' answered, '0' lost).
struct ScriptedHop {
  Ipv4Address From = 0;
  HopAnswerKind Kind = HopAnswerKind::TimeExceeded;
  std::string Rounds = "111";
};

// A path as a list of hops. Past its end the last hop answers every further
// hop limit when it is the destination or an unreachable; a path with a loop
// repeats its hops from LoopFrom on; any other is silent.
struct ScriptedPath {
  std::vector<ScriptedHop> Hops;
  int LoopFrom = -1;
};

class ScriptedPlatform : public RoutePlatform {
 public:
  explicit ScriptedPlatform(ScriptedPath path) : path_(std::move(path)) {}
  std::optional<EchoDestination> Resolve(const std::string&) override { return std::nullopt; }
  std::vector<HopAnswer> SendWithHopLimits(const EchoDestination&, std::span<const int> hopLimits,
                                           std::uint32_t) override {
    std::vector<HopAnswer> answers;
    if (path_.Hops.empty()) return answers;  // no socket
    for (const int limit : hopLimits) answers.push_back(Answer(limit));
    echoes_ += static_cast<int>(hopLimits.size());
    ++round_;
    return answers;
  }
  std::string ReverseName(const EchoDestination& address, std::uint32_t) override {
    ++lookups_[AddressText(address)];
    return "name-" + AddressText(address);
  }
  int Echoes() const { return echoes_; }
  const std::map<std::string, int>& Lookups() const { return lookups_; }

 private:
  const ScriptedHop* HopAt(int limit) const {
    const int count = static_cast<int>(path_.Hops.size());
    int index = limit - 1;
    if (index >= count && path_.LoopFrom >= 0)
      index = path_.LoopFrom + (index - path_.LoopFrom) % (count - path_.LoopFrom);
    else if (index >= count && path_.Hops.back().Kind != HopAnswerKind::TimeExceeded)
      index = count - 1;
    return index < count ? &path_.Hops[static_cast<std::size_t>(index)] : nullptr;
  }
  HopAnswer Answer(int limit) const {
    HopAnswer answer{limit};
    const ScriptedHop* hop = HopAt(limit);
    if (!hop || hop->Rounds[static_cast<std::size_t>(round_)] != '1') return answer;
    answer.Kind = hop->Kind;
    answer.From = hop->From;
    answer.RoundTripMicros = static_cast<std::uint64_t>(1000 * limit + 100 * round_);
    if (hop->Kind == HopAnswerKind::Unreachable) answer.Status = 11003;
    return answer;
  }

  ScriptedPath path_;
  int round_ = 0;
  int echoes_ = 0;
  std::map<std::string, int> lookups_;
};

const Ipv4Address kR1 = Ipv4(10, 0, 1, 1), kR2 = Ipv4(10, 0, 2, 1), kR3 = Ipv4(10, 0, 3, 1);
const Ipv4Address kHost = Ipv4(10, 0, 4, 2);
const ScriptedHop kDestination{kHost, HopAnswerKind::EchoReply};

struct TraceCase {
  const char* Name;
  ScriptedPath Path;
  RouteEnd End;
  std::vector<std::string> Addresses;  // one per hop kept, "" for a silent one
  std::vector<int> Received;
  int Echoes;  // 30 in the first round, then as far as the rule reaches
};

const std::vector<TraceCase> kTraceCases = {
    {"reached at 4",
     {{{kR1}, {kR2}, {kR3}, kDestination}},
     RouteEnd::Reached,
     {"10.0.1.1", "10.0.2.1", "10.0.3.1", "10.0.4.2"},
     {3, 3, 3, 3},
     30 + 4 + 4},
    {"silent after 2",
     {{{kR1}, {kR2}}},
     RouteEnd::Silent,
     {"10.0.1.1", "10.0.2.1", ""},
     {3, 3, 0},
     30 + 4 + 4},
    {"unreachable at 3",
     {{{kR1}, {kR2}, {kR2, HopAnswerKind::Unreachable}}},
     RouteEnd::Unreachable,
     {"10.0.1.1", "10.0.2.1", "10.0.2.1"},
     {3, 3, 3},
     30 + 3 + 3},
    {"loop between 2 and 3",
     {{{kR1}, {kR2}, {kR3}}, 1},
     RouteEnd::Loop,
     {"10.0.1.1", "10.0.2.1", "10.0.3.1", "10.0.2.1"},
     {3, 3, 3, 3},
     30 + 4 + 4},
    {"rate-limited hop answering 1 of 3",
     {{{kR1}, {kR2, HopAnswerKind::TimeExceeded, "001"}, {kR3}, kDestination}},
     RouteEnd::Reached,
     {"10.0.1.1", "10.0.2.1", "10.0.3.1", "10.0.4.2"},
     {3, 1, 3, 3},
     30 + 4 + 4},
    {"rate-limited hop silent in the first round only",
     {{{kR1}, {kR2, HopAnswerKind::TimeExceeded, "011"}}},
     RouteEnd::Silent,
     {"10.0.1.1", "10.0.2.1", ""},
     {3, 2, 0},
     30 + 3 + 4},
    {"destination answering the second round only",
     {{{kR1}, {kR2}, {kR3}, {kHost, HopAnswerKind::EchoReply, "010"}}},
     RouteEnd::Reached,
     {"10.0.1.1", "10.0.2.1", "10.0.3.1", "10.0.4.2"},
     {3, 3, 3, 1},
     30 + 5 + 4},
    {"nothing answers",
     {{{kR1, HopAnswerKind::TimeExceeded, "000"}}},
     RouteEnd::Silent,
     {""},
     {0},
     30 + 2 + 2},
    {"no socket", {}, RouteEnd::Failed, {}, {}, 0},
};

TEST(TraceRoute, EndsKeepsHopsAndCountsEchoesAsTheAnswersSay) {
  for (const TraceCase& c : kTraceCases) {
    SCOPED_TRACE(c.Name);
    ScriptedPlatform platform(c.Path);
    const RouteTrace trace = TraceRoute(kHost, {}, platform);
    EXPECT_EQ(trace.Destination, "10.0.4.2");
    EXPECT_EQ(trace.End, c.End);
    std::vector<std::string> addresses;
    std::vector<int> received;
    for (const RouteHop& hop : trace.Hops) {
      addresses.push_back(hop.Address);
      received.push_back(hop.Received);
      EXPECT_EQ(hop.Sent, 3) << hop.HopLimit;
      EXPECT_EQ(hop.Name, hop.Address.empty() ? "" : "name-" + hop.Address);
    }
    EXPECT_EQ(addresses, c.Addresses);
    EXPECT_EQ(received, c.Received);
    EXPECT_EQ(platform.Echoes(), c.Echoes);
    for (const auto& [address, lookups] : platform.Lookups()) EXPECT_EQ(lookups, 1) << address;
    const RouteHop* last = LastAnsweringHop(trace);
    const auto answered = std::find_if(c.Addresses.rbegin(), c.Addresses.rend(),
                                       [](const std::string& a) { return !a.empty(); });
    EXPECT_EQ(last ? last->Address : "", answered == c.Addresses.rend() ? "" : *answered);
  }
}

TEST(TraceRoute, HopTimesAreTheBestAndMeanOfTheAnswers) {
  ScriptedPlatform platform({{{kR1}, kDestination}});
  const RouteTrace trace = TraceRoute(kHost, {}, platform);
  ASSERT_EQ(trace.Hops.size(), 2u);
  EXPECT_EQ(trace.Hops[1].BestMicros, 2000u);
  EXPECT_EQ(trace.Hops[1].AverageMicros, 2100u);
  EXPECT_TRUE(trace.Hops[1].Destination);
  EXPECT_FALSE(trace.Hops[0].Destination);
}

}  // namespace
}  // namespace kelvoran
