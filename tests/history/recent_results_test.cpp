#include "history/recent_results.h"

#include <gtest/gtest.h>

#include "engine/host_record.h"
#include "engine/probe_job.h"

namespace kelvoran {
namespace {

struct Feed {
  RecentResults recent;
  HostRecord host;
  Feed() { recent.SetKeeping(true); }
  void Result(std::uint32_t roundTrip, bool failed = false, std::int32_t statusAfter = StatusOk,
              CalendarTime at = 0) {
    const ProbeResult result{
        .RoundTripTime = roundTrip, .ResultCode = failed ? 11010 : 0, .StartTime = at};
    const std::int32_t before = std::exchange(host.Status, statusAfter);
    recent.ResultApplied(host, result, before);
  }
  const RecentResults::Host& Kept() const { return *recent.Of(host.HostId); }
};

TEST(RecentResults, LossCoversTheLastHundredResultsOnly) {
  Feed feed;
  for (int i = 0; i < 50; ++i) feed.Result(0, true);
  EXPECT_EQ(RecentLossPercent(feed.Kept()), 100.0);
  for (int i = 0; i < 75; ++i) feed.Result(5);
  // 25 of the failures are still among the last 100.
  EXPECT_EQ(RecentLossPercent(feed.Kept()), 25.0);
  for (int i = 0; i < 25; ++i) feed.Result(5);
  EXPECT_EQ(RecentLossPercent(feed.Kept()), 0.0);
}

TEST(RecentResults, SparklineScalesTheLastResultsOldestFirstAndMarksFailures) {
  Feed feed;
  // 0: a failure.
  for (const std::uint32_t roundTrip : {100u, 1u, 0u, 8u, 4u}) feed.Result(roundTrip, !roundTrip);
  EXPECT_EQ(Sparkline(feed.Kept(), 4), U"\u2581\u00D7\u2588\u2584");
  EXPECT_EQ(Sparkline(feed.Kept(), 60).size(), 5u);
}

// The ring wraps: the jitter must read the last hundred in order, failures
// skipped, or a wrapped ring would add a step between its ends.
TEST(RecentResults, JitterFollowsTheLastHundredRepliesInOrder) {
  Feed feed;
  EXPECT_FALSE(RecentJitterMs(RecentResults::Host{}));
  // Round trips rising by 1 ms: any step across the ring's seam, or to a
  // failure's zero, would show.
  for (std::uint32_t i = 0; i < 150; ++i) feed.Result(i);
  EXPECT_EQ(RecentJitterMs(feed.Kept()), 1.0);
  feed.Result(0, true);
  feed.Result(150);
  EXPECT_EQ(RecentJitterMs(feed.Kept()), 1.0);
}

TEST(RecentResults, LastChangeIsTheStartOfTheResultThatChangedTheStatus) {
  Feed feed;
  feed.Result(1, false, StatusOk, 10);  // from the starting WARNING
  feed.Result(1, false, StatusOk, 20);
  EXPECT_EQ(feed.Kept().lastChange, 10);
  feed.Result(0, true, StatusWarning, 30);
  EXPECT_EQ(feed.Kept().lastChange, 30);
  feed.recent.SeedLastChange(feed.host.HostId, 5);  // older news from the history
  EXPECT_EQ(feed.Kept().lastChange, 30);
  feed.recent.SeedLastChange(feed.host.HostId + 1, 5);
  EXPECT_EQ(feed.recent.Of(feed.host.HostId + 1)->lastChange, 5);

  feed.recent.SetKeeping(false);
  feed.Result(1);
  EXPECT_EQ(feed.recent.Of(feed.host.HostId), nullptr);
}

}  // namespace
}  // namespace kelvoran
