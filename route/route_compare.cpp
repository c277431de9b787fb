#include "route/route_compare.h"

#include <algorithm>
#include <cstdio>

namespace kelvoran {
namespace {

bool Answered(const std::optional<RouteHop>& hop) { return hop && !hop->Address.empty(); }

HopMark MarkOf(const std::optional<RouteHop>& baseline, const std::optional<RouteHop>& outage) {
  if (!Answered(outage)) return Answered(baseline) ? HopMark::Stopped : HopMark::Same;
  if (!baseline) return HopMark::NewHop;
  if (!Answered(baseline)) return HopMark::AnsweringAgain;
  return baseline->Address == outage->Address ? HopMark::Same : HopMark::Changed;
}

// The hop of the hop limit, when the path reached that far.
std::optional<RouteHop> HopAt(const RouteTrace& trace, int hopLimit) {
  const auto found =
      std::find_if(trace.Hops.begin(), trace.Hops.end(),
                   [hopLimit](const RouteHop& hop) { return hop.HopLimit == hopLimit; });
  if (found == trace.Hops.end()) return std::nullopt;
  return *found;
}

int LastHopLimit(const RouteTrace& trace) {
  int last = 0;
  for (const RouteHop& hop : trace.Hops) last = std::max(last, hop.HopLimit);
  return last;
}

}  // namespace

std::vector<HopComparison> CompareRoutes(const RouteTrace& outage, const RouteTrace* baseline) {
  const int last = std::max(LastHopLimit(outage), baseline ? LastHopLimit(*baseline) : 0);
  std::vector<HopComparison> rows;
  for (int hopLimit = 1; hopLimit <= last; ++hopLimit) {
    HopComparison& row = rows.emplace_back();
    row.HopLimit = hopLimit;
    row.Outage = HopAt(outage, hopLimit);
    if (!baseline) continue;
    row.Baseline = HopAt(*baseline, hopLimit);
    row.Mark = MarkOf(row.Baseline, row.Outage);
  }
  return rows;
}

std::string HopMarkText(HopMark mark) {
  switch (mark) {
    case HopMark::Stopped:
      return "stopped answering";
    case HopMark::NewHop:
      return "new hop";
    case HopMark::Changed:
      return "changed address";
    case HopMark::AnsweringAgain:
      return "answering again";
    case HopMark::Same:
      break;
  }
  return "";
}

std::string LastAnswerText(const RouteTrace& trace) {
  if (trace.End == RouteEnd::Failed) return "no path probe could be sent";
  const RouteHop* last = LastAnsweringHop(trace);
  if (!last) return "no hop answered";
  return "last answer from " + last->Address + ", hop " + std::to_string(last->HopLimit);
}

std::string HopAddressText(const RouteHop& hop) {
  if (hop.Address.empty()) return "*";
  return hop.Name.empty() ? hop.Address : hop.Address + " (" + hop.Name + ")";
}

std::string HopRoundTripText(const RouteHop& hop) {
  if (hop.Received <= 0) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f ms", static_cast<double>(hop.AverageMicros) / 1000.0);
  return text;
}

std::string HopLossText(const RouteHop& hop) {
  if (hop.Sent <= 0) return "";
  const int lost = std::clamp(hop.Sent - hop.Received, 0, hop.Sent);
  return std::to_string(lost * 100 / hop.Sent) + " %";
}

std::string RouteReasonText(RouteReason reason) {
  switch (reason) {
    case RouteReason::Outage:
      return "Outage";
    case RouteReason::OnDemand:
      return "On demand";
    case RouteReason::Baseline:
      break;
  }
  return "Baseline";
}

std::string RouteEndText(RouteEnd end) {
  switch (end) {
    case RouteEnd::Reached:
      return "reached the host";
    case RouteEnd::Unreachable:
      return "ended at a router that said the host is unreachable";
    case RouteEnd::Loop:
      return "loops: a router answered twice";
    case RouteEnd::Failed:
      return "could not be probed";
    case RouteEnd::Silent:
      break;
  }
  return "had no answer past its last hop shown";
}

}  // namespace kelvoran
