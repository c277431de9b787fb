#include "route/route_planner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <set>
#include <thread>

#include "engine/host_record.h"
#include "engine/probe_job.h"

namespace kelvoran {
namespace {

// Every host is one hop away. A gate, while closed, holds each path probe in
// its send, so that the test sees how many run at once.
class GatedPlatform : public RoutePlatform {
 public:
  std::optional<EchoDestination> Resolve(const std::string& host) override {
    if (host == "no such host") return std::nullopt;
    return EchoDestination{Ipv4Address{0x0100007F}};
  }
  std::vector<HopAnswer> SendWithHopLimits(const EchoDestination& destination,
                                           std::span<const int> hopLimits, std::uint32_t) override {
    std::unique_lock lock(mutex_);
    ++inSend_;
    peak_ = std::max(peak_, inSend_);
    opened_.wait(lock, [&] { return open_; });
    --inSend_;
    std::vector<HopAnswer> answers;
    for (const int limit : hopLimits)
      answers.push_back({limit, HopAnswerKind::EchoReply, destination, 100, 0});
    return answers;
  }
  std::string ReverseName(const EchoDestination&, std::uint32_t) override { return ""; }

  void Open(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
    opened_.notify_all();
  }
  int Peak() {
    std::lock_guard lock(mutex_);
    return peak_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = true;
  int inSend_ = 0;
  int peak_ = 0;
};

class RoutePlannerTest : public ::testing::Test {
 protected:
  RoutePlannerTest() {
    RoutePlanner::Limits limits;
    limits.Trace.LookUpNames = false;
    limits.Trace.EchoesPerHop = 1;
    planner = std::make_unique<RoutePlanner>(
        platform, [this] { return now.load(); }, limits);
    planner->AddObserver([this](const RouteTrace& trace) { seen.push_back(trace); });
  }

  // Applies one result that leaves the host in `status`.
  void Result(const std::string& name, HostStatus status, HostStatus before) {
    HostRecord host;
    host.Host = name;
    host.Status = status;
    planner->ResultApplied(host, ProbeResult{}, before);
  }

  // Runs ticks until `count` paths were seen or five seconds passed.
  void TickUntilSeen(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (seen.size() < count && std::chrono::steady_clock::now() < deadline) {
      planner->TickEnded();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // Ticks a little longer, for paths that must not come.
  void TickAWhile() {
    for (int i = 0; i < 50; ++i) {
      planner->TickEnded();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::shared_ptr<GatedPlatform> platform = std::make_shared<GatedPlatform>();
  std::atomic<CalendarTime> now{1'000'000};
  std::unique_ptr<RoutePlanner> planner;
  std::vector<RouteTrace> seen;
};

TEST_F(RoutePlannerTest, BaselineAtFirstOkThenHourlyAndOnePathPerOutage) {
  Result("a", StatusOk, StatusWarning);
  TickUntilSeen(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Reason, RouteReason::Baseline);
  EXPECT_EQ(seen[0].End, RouteEnd::Reached);
  EXPECT_EQ(seen[0].Taken, 1'000'000);

  now += 3599;
  Result("a", StatusOk, StatusOk);
  TickAWhile();
  EXPECT_EQ(seen.size(), 1u) << "a second baseline within the hour";
  now += 1;
  Result("a", StatusOk, StatusOk);
  TickUntilSeen(2);
  ASSERT_EQ(seen.size(), 2u);

  Result("a", StatusError, StatusWarning);
  Result("a", StatusError, StatusError);
  TickUntilSeen(3);
  TickAWhile();
  ASSERT_EQ(seen.size(), 3u) << "one path per outage";
  EXPECT_EQ(seen[2].Reason, RouteReason::Outage);

  Result("a", StatusOk, StatusError);
  Result("a", StatusError, StatusOk);
  TickUntilSeen(4);
  ASSERT_EQ(seen.size(), 4u) << "the next outage gets its own path";
  EXPECT_EQ(seen[3].Reason, RouteReason::Outage);
}

TEST_F(RoutePlannerTest, AFewAtOnceOutagesFirstBaselinesOneByOne) {
  platform->Open(false);
  for (const char* name : {"b1", "b2", "b3"}) Result(name, StatusOk, StatusWarning);
  for (const char* name : {"e1", "e2", "e3", "e4"}) Result(name, StatusError, StatusWarning);
  planner->TraceNow("asked");
  TickAWhile();
  EXPECT_LE(platform->Peak(), 2);
  platform->Open(true);
  TickUntilSeen(6);
  ASSERT_EQ(seen.size(), 6u) << "five urgent paths and one baseline; the others wait their gap";
  const auto baselines = [&] {
    return std::count_if(seen.begin(), seen.end(), [](const RouteTrace& trace) {
      return trace.Reason == RouteReason::Baseline;
    });
  };
  EXPECT_EQ(baselines(), 1);
  EXPECT_LE(platform->Peak(), 2);

  now += 5;
  TickUntilSeen(7);
  TickAWhile();
  EXPECT_EQ(seen.size(), 7u) << "one more baseline per gap";
  EXPECT_EQ(baselines(), 2);

  now += 5;
  TickUntilSeen(8);
  std::set<std::string> baselined;
  for (const RouteTrace& trace : seen)
    if (trace.Reason == RouteReason::Baseline) baselined.insert(trace.Host);
  EXPECT_EQ(baselined, (std::set<std::string>{"b1", "b2", "b3"})) << "each host in turn";
}

TEST_F(RoutePlannerTest, UnknownNameFailsRenamedAndForgottenHostsFollow) {
  Result("no such host", StatusError, StatusOk);
  TickUntilSeen(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].End, RouteEnd::Failed);

  platform->Open(false);
  Result("old", StatusError, StatusOk);
  planner->TickEnded();
  planner->HostRenamed("old", "new");
  Result("gone", StatusError, StatusOk);
  planner->HostForgotten("gone");
  platform->Open(true);
  TickUntilSeen(2);
  TickAWhile();
  ASSERT_EQ(seen.size(), 2u) << "the forgotten host's path is not recorded";
  EXPECT_EQ(seen[1].Host, "new");
  EXPECT_FALSE(planner->Tracing("new"));
}

}  // namespace
}  // namespace kelvoran
