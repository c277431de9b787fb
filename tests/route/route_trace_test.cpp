// The path a trace records from scripted answers: where it ends, the hops it
// keeps and their tallies, the echoes it costs, names looked up once each.
#include "route/route_trace.h"

#include <gtest/gtest.h>

#include <map>

#include "route/address_text.h"

namespace kelvoran {
namespace {

Ipv6Address Ipv6(std::initializer_list<unsigned char> bytes) {
  Ipv6Address address;
  std::copy(bytes.begin(), bytes.end(), address.Bytes.begin());
  return address;
}

TEST(AddressText, CanonicalForms) {
  EXPECT_EQ(AddressText(Ipv4Address{0x0112A8C6}), "198.168.18.1");
  EXPECT_EQ(AddressText(Ipv6({})), "::");
  EXPECT_EQ(AddressText(Ipv6({0x20, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1})),
            "2001:0:0:1::1");
  EXPECT_EQ(AddressText(Ipv6({0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0})), "1:0:1:0:1:0:1:0");
  EXPECT_EQ(AddressText(Ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 198, 18, 1, 2})),
            "::ffff:198.18.1.2");
}

// Hop i (from 0) is 10.0.0.i+1 and answers round r as its text's letter r
// says: T time exceeded, E echo reply, U unreachable, - nothing. Past the
// last hop, the last answers again if it is the destination or unreachable;
// with LoopFrom, hops repeat from there; else all is silent.
struct ScriptedPath {
  std::vector<std::string> Hops;
  int LoopFrom = -1;
};

class ScriptedPlatform : public RoutePlatform {
 public:
  explicit ScriptedPlatform(ScriptedPath path) : path_(std::move(path)) {}
  std::optional<EchoDestination> Resolve(const std::string&) override { return std::nullopt; }
  std::vector<HopAnswer> SendWithHopLimits(const EchoDestination&, std::span<const int> limits,
                                           std::uint32_t) override {
    std::vector<HopAnswer> answers;
    for (std::size_t i = 0; i < limits.size() && !path_.Hops.empty(); ++i)
      answers.push_back(Answer(limits[i]));
    echoes += static_cast<int>(answers.size());
    ++round_;
    return answers;
  }
  std::string ReverseName(const EchoDestination& address, std::uint32_t) override {
    ++lookups[AddressText(address)];
    return "n" + AddressText(address);
  }
  int echoes = 0;
  std::map<std::string, int> lookups;

 private:
  HopAnswer Answer(int limit) const {
    const int count = static_cast<int>(path_.Hops.size());
    int hop = limit - 1;
    if (hop >= count && path_.LoopFrom >= 0)
      hop = path_.LoopFrom + (hop - path_.LoopFrom) % (count - path_.LoopFrom);
    else if (hop >= count && path_.Hops.back().find_first_of("EU") != std::string::npos)
      hop = count - 1;
    HopAnswer answer{limit};
    const char kind = hop < count ? path_.Hops[static_cast<std::size_t>(hop)][round_] : '-';
    if (kind == '-') return answer;
    answer.Kind = kind == 'T'   ? HopAnswerKind::TimeExceeded
                  : kind == 'E' ? HopAnswerKind::EchoReply
                                : HopAnswerKind::Unreachable;
    answer.Status = kind == 'U' ? 11003 : 0;
    answer.From = Ipv4Address{static_cast<Ipv4Address>(hop + 1) << 24 | 10};
    answer.RoundTripMicros = 1000 * static_cast<std::uint64_t>(limit) + 100 * round_;
    return answer;
  }
  ScriptedPath path_;
  std::size_t round_ = 0;
};

struct TraceCase {
  const char* Name;
  ScriptedPath Path;
  RouteEnd End;
  std::string Hops;      // the last digit of each hop's address, - for a silent hop
  std::string Received;  // of 3 sent to each
  int Echoes;            // 30 in the first round, then as far as the rule reaches
};

const TraceCase kCases[] = {
    {"reached at 4", {{"TTT", "TTT", "TTT", "EEE"}}, RouteEnd::Reached, "1234", "3333", 38},
    {"silent after 2", {{"TTT", "TTT"}}, RouteEnd::Silent, "12-", "330", 38},
    {"unreachable at 3", {{"TTT", "TTT", "UUU"}}, RouteEnd::Unreachable, "123", "333", 36},
    {"loop between 2 and 3", {{"TTT", "TTT", "TTT"}, 1}, RouteEnd::Loop, "1232", "3333", 38},
    {"hop 2 answers 1 of 3", {{"TTT", "--T", "TTT", "EEE"}}, RouteEnd::Reached, "1234", "3133", 38},
    {"hop 2 lost the first", {{"TTT", "-TT"}}, RouteEnd::Silent, "12-", "320", 37},
    {"destination in round 2",
     {{"TTT", "TTT", "TTT", "-E-"}},
     RouteEnd::Reached,
     "1234",
     "3331",
     39},
    {"nothing answers", {{"---"}}, RouteEnd::Silent, "-", "0", 34},
    {"no socket", {}, RouteEnd::Failed, "", "", 0},
};

TEST(TraceRoute, EndsKeepsHopsAndCountsEchoesAsTheAnswersSay) {
  for (const TraceCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    ScriptedPlatform platform(c.Path);
    const RouteTrace trace = TraceRoute(Ipv4Address{0x0400000A}, {}, platform);
    EXPECT_EQ(trace.Destination, "10.0.0.4");
    EXPECT_EQ(trace.End, c.End);
    std::string hops, received;
    for (const RouteHop& hop : trace.Hops) {
      hops += hop.Address.empty() ? '-' : hop.Address.back();
      received += static_cast<char>('0' + hop.Received);
      EXPECT_EQ(hop.Sent, 3);
      EXPECT_EQ(hop.Name, hop.Address.empty() ? "" : "n" + hop.Address);
    }
    EXPECT_EQ(hops, c.Hops);
    EXPECT_EQ(received, c.Received);
    EXPECT_EQ(platform.echoes, c.Echoes);
    for (const auto& [address, lookups] : platform.lookups) EXPECT_EQ(lookups, 1) << address;
    const RouteHop* last = LastAnsweringHop(trace);
    const auto answered = c.Hops.find_last_not_of('-');
    EXPECT_EQ(last ? last->HopLimit : 0, answered == std::string::npos ? 0 : int(answered) + 1);
  }
}

TEST(TraceRoute, HopTimesAreTheBestAndMeanOfTheAnswers) {
  ScriptedPlatform platform({{"TTT", "EEE"}});
  const RouteTrace trace = TraceRoute(Ipv4Address{0x0200000A}, {}, platform);
  ASSERT_EQ(trace.Hops.size(), 2u);
  EXPECT_EQ(trace.Hops[1].BestMicros, 2000u);
  EXPECT_EQ(trace.Hops[1].AverageMicros, 2100u);
  EXPECT_TRUE(trace.Hops[1].Destination);
}

}  // namespace
}  // namespace kelvoran
