#include "engine/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/result_mailbox.h"
#include "engine/result_text.h"
#include "failing_allocations.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

ProbeJobPtr JobFor(std::int32_t hostId) {
  ProbeJobPtr job(new ProbeJob);
  job->Request.HostId = hostId;
  return job;
}

TEST(ResultMailbox, TakesInSlotOrderGrowsByEightAndNeverShrinks) {
  ResultMailbox mailbox;
  for (std::int32_t id = 1; id <= 32; ++id) mailbox.Put(JobFor(id));
  EXPECT_EQ(mailbox.SlotCount(), 32u);
  mailbox.Put(JobFor(33));
  EXPECT_EQ(mailbox.SlotCount(), 40u);
  EXPECT_EQ(mailbox.SlotOf(33), 32);
  EXPECT_EQ(mailbox.Take()->Request.HostId, 1);
  mailbox.Put(JobFor(34));
  EXPECT_EQ(mailbox.SlotOf(34), 0) << "the first empty slot is used again";
  int taken = 0;
  while (mailbox.Take()) ++taken;
  EXPECT_EQ(taken, 33);
  EXPECT_EQ(mailbox.SlotCount(), 40u);
  // Left waiting: the mailbox frees them when it goes (LeakSanitizer checks).
  for (std::int32_t id = 1; id <= 41; ++id) mailbox.Put(JobFor(id));
  EXPECT_EQ(mailbox.SlotCount(), 48u);
}

// Puts and takes in a random mix: every job comes back once, always from the
// first occupied slot.
TEST(ResultMailbox, AnyMixOfPutsAndTakesLosesNoJobAndTakesFromTheFirstOccupiedSlot) {
  ResultMailbox mailbox;
  std::mt19937 random(7);
  std::map<std::ptrdiff_t, std::int32_t> bySlot;
  std::int32_t nextId = 0;
  for (int step = 0; step < 20'000; ++step) {
    if (random() % 2 == 0 || bySlot.empty()) {
      mailbox.Put(JobFor(nextId));
      ASSERT_TRUE(bySlot.emplace(mailbox.SlotOf(nextId), nextId).second) << "a slot used twice";
      ++nextId;
    } else {
      const ProbeJobPtr job = mailbox.Take();
      ASSERT_NE(job, nullptr);
      EXPECT_EQ(job->Request.HostId, bySlot.begin()->second);
      bySlot.erase(bySlot.begin());
    }
  }
  for (auto [slot, id] : bySlot) EXPECT_EQ(mailbox.Take()->Request.HostId, id);
  EXPECT_EQ(mailbox.Take(), nullptr);
}

// Worker threads start only when the test runs them, so hosts can be held busy
// and results made to arrive at chosen moments; the clock is set by the test.
class Scheduler : public ::testing::Test {
 protected:
  // Held workers finish and hand their jobs to the mailbox, which frees them.
  ~Scheduler() override {
    scheduler.SchedulingEnabled = false;
    TickAndRunWorkers();
  }
  HostRecord& AddHost(const char* name, std::int32_t delay, CalendarTime lastProbe = 0) {
    HostRecord& host = rows.Add();
    std::tie(host.Host, host.Delay, host.LastProbeTime) = std::tuple(name, delay, lastProbe);
    return host;
  }
  void Tick() { scheduler.ProcessTick(rows); }
  // True when one of the tick's allocations failed.
  bool TickOutOfMemoryAfter(int succeedingAllocations) {
    testing::FailingAllocations failing(succeedingAllocations);
    Tick();
    return failing.AnyFailed();
  }
  void TickAndRunWorkers() {
    Tick();
    for (auto& body : std::exchange(workers, {})) body();
  }

  CalendarTime now = 1'000'000;
  bool threadStartFails = false, probeThrows = false;
  int startAttempts = 0;
  std::vector<std::function<void()>> workers;
  std::vector<std::string> probed;
  ResultMailbox mailbox;
  testing::FakeHostRows rows;
  ProbeScheduler scheduler{mailbox,
                           [this](const ProbeRequest& request, ProbeResult& result) {
                             if (probeThrows) throw std::bad_alloc();
                             probed.push_back(request.Host);
                             result.StartTime = now;
                             return result.ResultCode = ResultSuccess;
                           },
                           PopupSender{},
                           {[this] { return now; },
                            [this](std::function<void()> body) {
                              ++startAttempts;
                              if (!threadStartFails) workers.push_back(std::move(body));
                              return !threadStartFails;
                            },
                            /*launchOffTick=*/false}};
};

// Several a tick start in due order, the earliest first, the top row on ties.
TEST_F(Scheduler, EarliestDueTimeWinsTheTopRowOnTiesFromTheVerySecond) {
  scheduler.SetProbesPerTick(3);
  AddHost("justDue", 10, now - 10);        // due now
  AddHost("late", 30, now - 50);           // due now - 20
  AddHost("tieTop", 10, now - 100);        // due now - 90
  AddHost("tieBottom", 5, now - 95);       // due now - 90
  AddHost("early", 5, now - 200);          // due now - 195
  AddHost("new", 30);                      // never probed: due at 30
  AddHost("notYet", 10, now - 9);          // due now + 1
  AddHost("never", INT32_MAX, INT32_MAX);  // 2^32 - 2 in 64 bits, not negative
  for (int i = 0; i < 8; ++i) TickAndRunWorkers();
  EXPECT_EQ(probed,
            (std::vector<std::string>{"new", "early", "tieTop", "tieBottom", "late", "justDue"}));
}

// Above one probe a tick no more than the limit are in flight and the rest
// wait; at one a tick the pace alone bounds the threads, so the tick starts
// the due host whatever is in flight.
class SchedulerInFlight : public Scheduler, public ::testing::WithParamInterface<int> {};

TEST_P(SchedulerInFlight, TheLimitHoldsAboveOneProbePerTickOnly) {
  constexpr int kLimit = ProbeScheduler::kMaxProbesInFlight;
  constexpr int kHosts = kLimit + 100;
  const int perTick = GetParam();
  scheduler.SetProbesPerTick(perTick);
  EXPECT_EQ(scheduler.ProbesPerTick(), std::min(perTick, ProbeScheduler::kMaxProbesPerTick));
  for (int i = 0; i < kHosts; ++i) AddHost(std::to_string(i).c_str(), 10);
  const int ticks = kLimit / scheduler.ProbesPerTick() + 1;
  for (int tick = 0; tick < ticks; ++tick) Tick();
  const int started = ticks * scheduler.ProbesPerTick();
  EXPECT_EQ(scheduler.OutstandingProbes, perTick == 1 ? started : kLimit);
  TickAndRunWorkers();
  Tick();
  const auto waited = kHosts - static_cast<int>(probed.size());
  EXPECT_EQ(scheduler.OutstandingProbes, std::min(waited, scheduler.ProbesPerTick()))
      << "the hosts that waited start now";
}

INSTANTIATE_TEST_SUITE_P(PerTick, SchedulerInFlight,
                         ::testing::Values(1, ProbeScheduler::kMaxProbesPerTick + 1));

// Takes the hosts whose names start with "a" and holds them.
struct HoldingEchoService : EchoService {
  bool Take(ProbeJobPtr& job) override {
    if (job->Request.Host.front() != 'a') return false;
    held.push_back(std::move(job));
    return true;
  }
  void Wake() override {}
  std::vector<ProbeJobPtr> held;
};

// At one probe a tick every probe has its thread, as always; above, the echo
// service takes what it can, and only the probes on threads count to their
// limit, so the service's hosts keep starting past it.
TEST_F(Scheduler, AboveOneProbeATickTheServiceTakesWhatItCanOutsideTheThreadLimit) {
  HoldingEchoService* service = nullptr;
  scheduler.SetEchoService([&](ResultMailbox&) {
    auto made = std::make_unique<HoldingEchoService>();
    service = made.get();
    return made;
  });
  AddHost("n", 10);
  AddHost("a", 10);
  Tick();
  EXPECT_EQ(std::tie(service, scheduler.ThreadProbes), std::tuple(nullptr, 1));
  constexpr int kLimit = ProbeScheduler::kMaxProbesInFlight;
  for (int i = 0; i < kLimit + 100; ++i) {
    AddHost(("a" + std::to_string(i)).c_str(), 10);
    AddHost(("n" + std::to_string(i)).c_str(), 10);
  }
  scheduler.SetProbesPerTick(ProbeScheduler::kMaxProbesPerTick);
  for (int tick = 0; tick < 10; ++tick) Tick();
  ASSERT_NE(service, nullptr);
  const auto held = static_cast<std::int32_t>(service->held.size());
  EXPECT_EQ(std::tie(held, scheduler.ThreadProbes, scheduler.OutstandingProbes),
            std::tuple(kLimit + 101, kLimit, 2 * kLimit + 101));
  for (ProbeJobPtr& job : service->held) mailbox.Put(std::move(job));
  scheduler.SchedulingEnabled = false;
  Tick();
  EXPECT_EQ(std::tie(scheduler.ThreadProbes, scheduler.OutstandingProbes),
            std::tuple(kLimit, kLimit));
}

TEST_F(Scheduler, ResultOfADeletedHostIsDroppedAndStillUncounted) {
  AddHost("gone", 10);
  Tick();
  rows.Remove(0);
  Tick();                                           // nothing to choose from
  HostRecord& sameName = AddHost("gone", 10, now);  // a new record, not due yet
  TickAndRunWorkers();
  Tick();
  EXPECT_EQ(scheduler.OutstandingProbes, 0);
  EXPECT_EQ(sameName.SentCount, 0u) << "results belong to a HostId, not to a name";
  EXPECT_TRUE(workers.empty());
}

// A probe that cannot start ends the tick's starts: the rest would fare no
// better.
TEST_F(Scheduler, NoWorkerOrNoMemoryLeavesNothingBusyOrCounted) {
  // Too long for the string's inner buffer: the job's copy is an allocation.
  HostRecord& host = AddHost("a.host.name.longer.than.sso", 10);
  AddHost("b", 10);
  scheduler.SetProbesPerTick(2);
  threadStartFails = true;
  Tick();
  EXPECT_EQ(startAttempts, 1);
  EXPECT_FALSE(host.Busy);
  EXPECT_EQ(scheduler.OutstandingProbes, 0);
  threadStartFails = false;
  rows.Remove(1);
  // Each allocation of the start fails in turn (the job, its host name, the
  // worker): the host stays idle and uncounted and is tried again.
  for (int succeeding = 0; TickOutOfMemoryAfter(succeeding); ++succeeding) {
    ASSERT_LT(succeeding, 10);
    EXPECT_EQ(std::tie(host.Busy, scheduler.OutstandingProbes), std::tuple(false, 0));
  }
  EXPECT_EQ(std::tie(host.Busy, scheduler.OutstandingProbes), std::tuple(true, 1));
  probeThrows = true;
  TickAndRunWorkers();
  Tick();
  EXPECT_EQ(std::tie(host.SentCount, host.ResultCode), std::tuple(1u, ResultMemoryError));
}

// The closing wait, bounded: a job that never comes back must fail the test,
// not hold the run. Generous, as Wine on a loaded machine can take seconds to
// schedule a new thread.
bool EveryProbeCameBack(ProbeScheduler& scheduler, HostRows& rows) {
  scheduler.SchedulingEnabled = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (scheduler.OutstandingProbes != 0 && std::chrono::steady_clock::now() < deadline)
    scheduler.ProcessTick(rows);
  return scheduler.OutstandingProbes == 0;
}

// At one probe a tick the tick starts the worker itself; above, the launcher
// thread does, woken for the jobs of every tick, not only the first.
TEST(SchedulerThreads, TheTickStartsASingleProbeAndTheLauncherWakesForEachTick) {
  ResultMailbox mailbox;
  std::atomic<int> onTickThread{0};
  const auto tickThread = std::this_thread::get_id();
  ProbeScheduler scheduler(mailbox,
                           [](const ProbeRequest&, ProbeResult& result) {
                             result.StartTime = 100;  // not due again at this clock
                             return result.ResultCode = ResultNoReply;
                           },
                           PopupSender{},
                           {[] { return CalendarTime{100}; },
                            [&](std::function<void()> body) {
                              onTickThread += std::this_thread::get_id() == tickThread;
                              return StartDetachedThread(std::move(body));
                            }});
  testing::FakeHostRows rows;
  for (int i = 0; i < 5; ++i) rows.Add().Delay = 10;
  scheduler.ProcessTick(rows);
  EXPECT_EQ(onTickThread.load(), 1);
  scheduler.SetProbesPerTick(2);
  for (int tick = 0; tick < 2; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the launcher sleeps again
    scheduler.ProcessTick(rows);
  }
  ASSERT_TRUE(EveryProbeCameBack(scheduler, rows));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(rows.RecordAt(i).SentCount, 1u) << i;
  EXPECT_EQ(onTickThread.load(), 1);
}

// Above one probe a tick the workers are started by the launcher thread; a
// worker that cannot start brings its job back unrun, and its host is idle,
// unprobed and uncounted again.
TEST(SchedulerThreads, LaunchedWorkersPutWhileTheTickDrainsAndFailedLaunchesComeBack) {
  constexpr int kHosts = 40;  // past the mailbox's first 32 slots
  ResultMailbox mailbox;
  std::atomic<bool> released{false};
  std::atomic<int> launches{0};
  ProbeFunction heldProbe = [&](const ProbeRequest&, ProbeResult& result) {
    while (!released.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return result.ResultCode = ResultNoReply;
  };
  auto everyThirdFails = [&](std::function<void()> body) {
    return ++launches % 3 != 0 && StartDetachedThread(std::move(body));
  };
  ProbeScheduler scheduler(mailbox, heldProbe, PopupSender{},
                           {[] { return CalendarTime{100}; }, everyThirdFails});
  scheduler.SetProbesPerTick(kHosts);
  testing::FakeHostRows rows;
  for (int i = 0; i < kHosts; ++i) rows.Add().Delay = 10;
  scheduler.ProcessTick(rows);
  EXPECT_EQ(scheduler.OutstandingProbes, kHosts);
  released.store(true);
  ASSERT_TRUE(EveryProbeCameBack(scheduler, rows));
  int probed = 0;
  for (int i = 0; i < kHosts; ++i) {
    const HostRecord& host = rows.RecordAt(i);
    EXPECT_FALSE(host.Busy) << i;
    EXPECT_EQ(host.SentCount, host.FailedCount) << i;
    probed += static_cast<int>(host.SentCount);
  }
  EXPECT_EQ(probed, kHosts - kHosts / 3);
}

}  // namespace
}  // namespace kelvoran
