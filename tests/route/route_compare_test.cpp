#include "route/route_compare.h"

#include <gtest/gtest.h>

namespace kelvoran {
namespace {

// A path written as its hops' addresses, hop limit 1 first; "" is silent.
RouteTrace Path(std::vector<std::string> addresses, RouteEnd end = RouteEnd::Silent) {
  RouteTrace trace;
  trace.End = end;
  int hopLimit = 0;
  for (std::string& address : addresses) {
    RouteHop& hop = trace.Hops.emplace_back();
    hop.HopLimit = ++hopLimit;
    hop.Sent = 3;
    hop.Received = address.empty() ? 0 : 3;
    hop.Address = std::move(address);
  }
  return trace;
}

std::vector<HopMark> Marks(const RouteTrace& outage, const RouteTrace* baseline) {
  std::vector<HopMark> marks;
  for (const HopComparison& row : CompareRoutes(outage, baseline)) marks.push_back(row.Mark);
  return marks;
}

using M = HopMark;
struct CompareCase {
  const char* what;
  RouteTrace baseline;
  RouteTrace outage;
  std::vector<HopMark> marks;
  std::string lastAnswer;
};

TEST(RouteCompareTest, MarksEachHopAndNamesTheLastAnswer) {
  const RouteTrace fullPath =
      Path({"10.0.1.1", "10.0.2.1", "10.0.3.1", "10.0.3.9"}, RouteEnd::Reached);
  const CompareCase cases[] = {
      {"unchanged",
       fullPath,
       fullPath,
       {M::Same, M::Same, M::Same, M::Same},
       "last answer from 10.0.3.9, hop 4"},
      {"broken after the second router, silent tail cut to one hop",
       fullPath,
       Path({"10.0.1.1", "10.0.2.1", ""}),
       {M::Same, M::Same, M::Stopped, M::Stopped},
       "last answer from 10.0.2.1, hop 2"},
      {"host down, last router answers",
       fullPath,
       Path({"10.0.1.1", "10.0.2.1", "10.0.3.1", ""}),
       {M::Same, M::Same, M::Same, M::Stopped},
       "last answer from 10.0.3.1, hop 3"},
      {"rerouted through another router",
       fullPath,
       Path({"10.0.1.1", "10.0.9.1", "10.0.3.1", "10.0.3.9"}, RouteEnd::Reached),
       {M::Same, M::Changed, M::Same, M::Same},
       "last answer from 10.0.3.9, hop 4"},
      {"longer path: a new hop",
       Path({"10.0.1.1", "10.0.3.9"}, RouteEnd::Reached),
       Path({"10.0.1.1", "10.0.2.1", "10.0.3.9"}, RouteEnd::Reached),
       {M::Same, M::Changed, M::NewHop},
       "last answer from 10.0.3.9, hop 3"},
      {"a rate-limiting router answers again, the break is past it",
       Path({"10.0.1.1", "", "10.0.3.1", "10.0.3.9"}, RouteEnd::Reached),
       Path({"10.0.1.1", "10.0.2.1", "10.0.3.1", ""}),
       {M::Same, M::AnsweringAgain, M::Same, M::Stopped},
       "last answer from 10.0.3.1, hop 3"},
      {"nothing answers",
       fullPath,
       Path({""}),
       {M::Stopped, M::Stopped, M::Stopped, M::Stopped},
       "no hop answered"},
      {"no probe could be sent",
       fullPath,
       Path({}, RouteEnd::Failed),
       {M::Stopped, M::Stopped, M::Stopped, M::Stopped},
       "no path probe could be sent"},
  };
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Marks(c.outage, &c.baseline), c.marks);
    EXPECT_EQ(LastAnswerText(c.outage), c.lastAnswer);
  }
}

// A silent hop, and more answers than echoes (duplicates): no negative loss.
TEST(RouteCompareTest, HopFigures) {
  const RouteHop silent{1, "", "", 3, 0, 0, 0, false, 0};
  const RouteHop duplicated{2, "10.0.3.1", "gw3.lab", 3, 7, 900, 1250, false, 0};
  EXPECT_EQ(HopAddressText(silent) + HopRoundTripText(silent) + HopLossText(silent), "*100 %");
  EXPECT_EQ(HopRoundTripText(duplicated) + ", " + HopLossText(duplicated), "1.25 ms, 0 %");
}

}  // namespace
}  // namespace kelvoran
