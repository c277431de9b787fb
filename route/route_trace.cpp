#include "route/route_trace.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <numeric>

#include "route/address_text.h"

namespace kelvoran {
namespace {

// The IP header's TTL / hop limit field holds no more.
constexpr int kLargestHopLimit = 255;
// After the first round, which reaches every hop limit, later rounds stop this
// far past the furthest hop that answered so far: room for one router that
// keeps silent (or lost its answer) and the destination behind it, so a
// destination that misses a round is still asked at its hop, while a silent
// tail costs a few echoes per round instead of one per hop up to the limit.
constexpr int kProbedPastLastAnswer = 2;

// What the rounds gathered for one hop limit.
struct HopTally {
  int Sent = 0;
  int Received = 0;
  std::uint64_t BestMicros = 0;
  std::uint64_t TotalMicros = 0;
  std::optional<EchoDestination> From;  // the first that answered
  bool Destination = false;
  std::int32_t Status = 0;  // an Unreachable's, sent from a router or locally
};

bool Answered(const HopTally& hop) { return hop.Received > 0; }

void Count(HopTally& hop, const HopAnswer& answer) {
  ++hop.Sent;
  if (answer.Kind == HopAnswerKind::Silent) return;
  if (answer.Kind == HopAnswerKind::Unreachable) hop.Status = answer.Status;
  if (answer.Kind == HopAnswerKind::EchoReply) hop.Destination = true;
  // An Unreachable raised by our own send names no router: it ends the path
  // but is no answer from anyone on it.
  if (answer.Kind == HopAnswerKind::Unreachable && answer.From == EchoDestination(Ipv4Address{0}))
    return;
  hop.BestMicros =
      hop.Received == 0 ? answer.RoundTripMicros : std::min(hop.BestMicros, answer.RoundTripMicros);
  hop.TotalMicros += answer.RoundTripMicros;
  ++hop.Received;
  if (!hop.From) hop.From = answer.From;
}

// Where the path recorded so far ends: its end and the number of hops kept.
struct PathEnd {
  RouteEnd End = RouteEnd::Silent;
  int Hops = 0;
};

// A router answering again after another one answered between: the echoes go
// round in circles, and every further hop would repeat the same routers.
bool ClosesLoop(const std::vector<HopTally>& hops, std::size_t at) {
  const auto& address = hops[at].From;
  bool otherBetween = false;
  for (std::size_t i = at; i-- > 0;) {
    if (!hops[i].From) continue;
    if (*hops[i].From == *address) return otherBetween;
    otherBetween = true;
  }
  return false;
}

PathEnd FindEnd(const std::vector<HopTally>& hops) {
  int lastAnswered = 0;
  for (std::size_t i = 0; i < hops.size() && hops[i].Sent > 0; ++i) {
    const int hopCount = static_cast<int>(i) + 1;
    if (hops[i].Destination) return {RouteEnd::Reached, hopCount};
    if (hops[i].Status != 0) return {RouteEnd::Unreachable, hopCount};
    if (hops[i].From && ClosesLoop(hops, i)) return {RouteEnd::Loop, hopCount};
    if (Answered(hops[i])) lastAnswered = hopCount;
  }
  const int sent =
      static_cast<int>(std::ranges::count_if(hops, [](auto& h) { return h.Sent > 0; }));
  return {RouteEnd::Silent, std::min(lastAnswered + 1, sent)};
}

int FurthestAnswer(const std::vector<HopTally>& hops) {
  for (std::size_t i = hops.size(); i-- > 0;)
    if (Answered(hops[i])) return static_cast<int>(i) + 1;
  return 0;
}

// Sends one round; false when the platform could send nothing at all.
bool SendRound(const EchoDestination& destination, int highestHop, const TraceOptions& options,
               RoutePlatform& platform, std::vector<HopTally>& hops) {
  std::vector<int> hopLimits(static_cast<std::size_t>(highestHop));
  std::iota(hopLimits.begin(), hopLimits.end(), 1);
  const auto answers = platform.SendWithHopLimits(destination, hopLimits, options.TimeoutMs);
  const std::size_t counted = std::min(answers.size(), hopLimits.size());
  for (std::size_t i = 0; i < counted; ++i) Count(hops[i], answers[i]);
  return counted > 0;
}

RouteHop ToRouteHop(int hopLimit, const HopTally& tally) {
  RouteHop hop;
  hop.HopLimit = hopLimit;
  if (tally.From) hop.Address = AddressText(*tally.From);
  hop.Sent = tally.Sent;
  hop.Received = tally.Received;
  hop.BestMicros = tally.BestMicros;
  hop.AverageMicros =
      tally.Received > 0 ? tally.TotalMicros / static_cast<unsigned>(tally.Received) : 0;
  hop.Destination = tally.Destination;
  hop.Status = tally.Status;
  return hop;
}

// Each address is looked up once. A lookup that used up its whole time
// means the name server is out of reach, as it may well be during an outage:
// the rest go without names rather than cost a time-out each.
void LookUpNames(RouteTrace& trace, const std::vector<HopTally>& hops, const TraceOptions& options,
                 RoutePlatform& platform) {
  std::map<std::string, std::string> known;
  const auto bound = std::chrono::milliseconds(options.NameTimeoutMs);
  for (RouteHop& hop : trace.Hops) {
    if (hop.Address.empty()) continue;
    if (auto found = known.find(hop.Address); found != known.end()) {
      hop.Name = found->second;
      continue;
    }
    const auto started = std::chrono::steady_clock::now();
    const auto& from = *hops[static_cast<std::size_t>(hop.HopLimit - 1)].From;
    hop.Name = platform.ReverseName(from, options.NameTimeoutMs);
    known.emplace(hop.Address, hop.Name);
    if (std::chrono::steady_clock::now() - started >= bound) return;
  }
}

}  // namespace

RouteTrace TraceRoute(const EchoDestination& destination, const TraceOptions& options,
                      RoutePlatform& platform) {
  RouteTrace trace;
  trace.Destination = AddressText(destination);
  const int maxHops = std::clamp(options.MaxHops, 1, kLargestHopLimit);
  std::vector<HopTally> hops(static_cast<std::size_t>(maxHops));
  int highestHop = maxHops;
  for (int round = 0; round < std::max(options.EchoesPerHop, 1); ++round) {
    const int thisRound = round == 0
                              ? highestHop
                              : std::min(highestHop, FurthestAnswer(hops) + kProbedPastLastAnswer);
    if (!SendRound(destination, thisRound, options, platform, hops) && round == 0) {
      trace.End = RouteEnd::Failed;
      return trace;
    }
    const PathEnd end = FindEnd(hops);
    if (end.End != RouteEnd::Silent) highestHop = end.Hops;
  }
  const PathEnd end = FindEnd(hops);
  trace.End = end.End;
  for (int i = 0; i < end.Hops; ++i)
    trace.Hops.push_back(ToRouteHop(i + 1, hops[static_cast<std::size_t>(i)]));
  if (options.LookUpNames) LookUpNames(trace, hops, options, platform);
  return trace;
}

const RouteHop* LastAnsweringHop(const RouteTrace& trace) {
  for (auto hop = trace.Hops.rbegin(); hop != trace.Hops.rend(); ++hop)
    if (hop->Received > 0) return &*hop;
  return nullptr;
}

}  // namespace kelvoran
