#pragma once

#include <optional>
#include <string>
#include <vector>

#include "route/route_trace.h"

// An outage's path set beside the host's last path from while it was OK:
// where the two part is where the way to the host broke.
namespace kelvoran {

// How one hop of the outage's path differs from the baseline's.
enum class HopMark {
  Same,            // both answered from one address, or both stayed silent
  Stopped,         // answered in the baseline, silent (or not reached) now
  NewHop,          // beyond the baseline's last hop, and answering
  Changed,         // both answered, from different addresses
  AnsweringAgain,  // silent in the baseline, answering now
};

struct HopComparison {
  int HopLimit = 0;
  std::optional<RouteHop> Baseline;  // none past the baseline's last hop
  std::optional<RouteHop> Outage;    // none past the outage's last hop
  HopMark Mark = HopMark::Same;
};

// Hop by hop, from hop limit 1 to the longer path's last; without a baseline
// every hop of the outage's path is Same (there is nothing to differ from).
std::vector<HopComparison> CompareRoutes(const RouteTrace& outage, const RouteTrace* baseline);

// "stopped answering", "new hop", ...; "" for Same.
std::string HopMarkText(HopMark mark);

// For the outage log: "last answer from 10.0.3.1, hop 4", or why there is
// none ("no hop answered", "no path probe could be sent").
std::string LastAnswerText(const RouteTrace& trace);

// One hop as a table shows it: "10.0.3.1 (gw3.lab)", "*" when silent.
std::string HopAddressText(const RouteHop& hop);
// "1.25 ms" best of the echoes answered; "" when none was.
std::string HopRoundTripText(const RouteHop& hop);
// "33 %" of the echoes sent unanswered; "" when none was sent.
std::string HopLossText(const RouteHop& hop);
// "Baseline", "Outage", "On demand".
std::string RouteReasonText(RouteReason reason);
// How the path ended, to follow "The path ": "reached the host", ...
std::string RouteEndText(RouteEnd end);

}  // namespace kelvoran
