#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "history/history_recorder.h"
#include "history_files.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

using testing::kStart;

// A path of the hops' addresses, "" for a silent hop; the last answering
// hop is the host when `reached`.
RouteTrace Path(const std::string& host, CalendarTime taken, RouteReason reason,
                const std::vector<std::string>& addresses, bool reached) {
  RouteTrace trace{host, "10.0.3.9", taken, reason, reached ? RouteEnd::Reached : RouteEnd::Silent,
                   {}};
  int hopLimit = 0;
  for (const std::string& address : addresses) {
    const bool answered = !address.empty();
    trace.Hops.push_back({++hopLimit, address, answered ? "r" + std::to_string(hopLimit) : "", 3,
                          answered ? 2 : 0, 1000u * static_cast<unsigned>(hopLimit),
                          1500u * static_cast<unsigned>(hopLimit), false, 0});
  }
  if (reached) trace.Hops.back().Destination = true;
  return trace;
}

bool SamePaths(const RouteTrace& a, const RouteTrace& b) {
  const auto hopsEqual = [](const RouteHop& x, const RouteHop& y) {
    return x.HopLimit == y.HopLimit && x.Address == y.Address && x.Name == y.Name &&
           x.Sent == y.Sent && x.Received == y.Received && x.BestMicros == y.BestMicros &&
           x.AverageMicros == y.AverageMicros && x.Destination == y.Destination &&
           x.Status == y.Status;
  };
  return a.Host == b.Host && a.Destination == b.Destination && a.Taken == b.Taken &&
         a.Reason == b.Reason && a.End == b.End &&
         std::equal(a.Hops.begin(), a.Hops.end(), b.Hops.begin(), b.Hops.end(), hopsEqual);
}

std::vector<CalendarTime> TimesOf(const HistoryAnswer<RouteTrace>& read) {
  std::vector<CalendarTime> times;
  for (const RouteTrace& trace : read.value()) times.push_back(trace.Taken);
  return times;
}

const std::vector<std::string> kPath = {"10.0.1.1", "10.0.2.1", "10.0.3.1", "10.0.3.9"};

// The paths of a host through the recorder, as the planner hands them over:
// read back whole, an unchanged baseline replacing the one before, the
// baseline before an outage found, and the paths following a rename and
// going with a forgotten host.
TEST(RouteHistory, PathsAreKeptComparedRenamedAndForgotten) {
  testing::TempDir dir;
  const std::string path = dir.File("KELVORAN.HISTORY");
  auto owned = std::make_unique<HistoryRecorder>(path);
  HistoryRecorder& recorder = *owned;
  const RouteTrace first = Path("gw", kStart, RouteReason::Baseline, kPath, true);
  const RouteTrace unchanged = Path("gw", kStart + 3600, RouteReason::Baseline, kPath, true);
  const RouteTrace outage =
      Path("gw", kStart + 5000, RouteReason::Outage, {"10.0.1.1", "10.0.2.1", ""}, false);
  const RouteTrace changed = Path("gw", kStart + 7200, RouteReason::Baseline,
                                  {"10.0.1.1", "10.0.9.1", "10.0.3.1", "10.0.3.9"}, true);
  for (const RouteTrace* trace : {&first, &unchanged, &outage, &changed}) {
    recorder.RouteRecorded(*trace);
    recorder.TickEnded();
  }
  ASSERT_TRUE(recorder.Flush());
  HistoryQueries queries = recorder.Queries();
  const std::string host = " GW";  // the settings file's rule for section names
  const auto all = queries.routes(0, INT64_MAX, &host);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 3u) << "the unchanged baseline replaces the first";
  EXPECT_TRUE(SamePaths((*all)[0], changed));
  EXPECT_TRUE(SamePaths((*all)[1], outage));
  EXPECT_TRUE(SamePaths((*all)[2], unchanged));
  const auto before = queries.latestRoute(host, RouteReason::Baseline, outage.Taken * 1000);
  EXPECT_EQ(TimesOf(before), std::vector{unchanged.Taken});
  EXPECT_EQ(TimesOf(queries.latestRoute(host, RouteReason::Outage, INT64_MAX)),
            std::vector{outage.Taken});
  EXPECT_EQ(TimesOf(queries.routes(0, (kStart + 5000) * 1000, nullptr)),
            std::vector{unchanged.Taken});

  // Onto a name that has a history of its own: both hosts' paths under it.
  recorder.RouteRecorded(Path("router", kStart + 100, RouteReason::OnDemand, kPath, true));
  recorder.TickEnded();
  recorder.HostRenamed("gw", "router");
  ASSERT_TRUE(recorder.Flush());
  EXPECT_TRUE(queries.routes(0, INT64_MAX, &host)->empty());
  const std::string renamed = "router";
  const auto moved = queries.routes(0, INT64_MAX, &renamed);
  ASSERT_EQ(moved->size(), 4u);
  EXPECT_EQ(moved->front().Host, "router");

  recorder.HostForgotten("router");
  ASSERT_TRUE(recorder.Flush());
  EXPECT_TRUE(queries.routes(0, INT64_MAX, nullptr)->empty());
  owned.reset();  // the file is the recorder's alone while it is open
  EXPECT_EQ(testing::QueryInteger(path, "SELECT count(*) FROM route_hops"), 0);
}

// The retention pass (and the disk budget, which raises its cutoffs): an
// outage's path goes with the changes of status, a baseline with the
// results, but each host keeps its newest baseline, and no hop outlives its
// path, chunk by chunk.
TEST(RouteHistory, OldPathsGoButTheNewestBaselineStays) {
  constexpr HistoryTime kDay = HistoryOptions::kDay;
  const CalendarTime day = kDay / 1000;
  for (const int chunk : {1, 1000}) {
    SCOPED_TRACE(chunk);
    testing::TempDir dir;
    HistoryStore store;
    ASSERT_EQ(store.Open(dir.File("KELVORAN.HISTORY")), SQLITE_OK);
    HistoryBatch batch;
    for (const std::string host : {"a", "b"}) {
      batch.routes.push_back(
          Path(host, kStart - 50 * day, RouteReason::Baseline, {"10.0.1.1"}, true));
      batch.routes.push_back(Path(host, kStart - 40 * day, RouteReason::Baseline, kPath, true));
      batch.routes.push_back(Path(host, kStart - 400 * day, RouteReason::Outage, {""}, false));
      batch.routes.push_back(Path(host, kStart - 35 * day, RouteReason::Outage, {""}, false));
    }
    batch.routes.push_back(Path("a", kStart - day, RouteReason::Baseline, {"10.0.7.1"}, true));
    ASSERT_EQ(store.Write({batch}), SQLITE_OK);
    const HistoryTime now = kStart * 1000;
    for (bool more = true; more;)
      ASSERT_EQ(store.DropExpired({now - 30 * kDay, now - 365 * kDay, 0, 0}, chunk, more),
                SQLITE_OK);
    for (const auto& [host, kept] :
         {std::pair(std::string("a"), std::vector{kStart - day, kStart - 35 * day}),
          std::pair(std::string("b"), std::vector{kStart - 35 * day, kStart - 40 * day})}) {
      SCOPED_TRACE(host);
      std::vector<CalendarTime> times;
      for (const RouteTrace& trace : store.Routes(0, INT64_MAX, &host))
        times.push_back(trace.Taken);
      EXPECT_EQ(times, kept);
    }
    store.Close();
    EXPECT_EQ(
        testing::QueryInteger(dir.File("KELVORAN.HISTORY"), "SELECT count(*) FROM route_hops"),
        1 + 1 + 1 + 4);
  }
}

}  // namespace
}  // namespace kelvoran
