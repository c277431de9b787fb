#include "engine/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "engine/result_mailbox.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

using testing::FakeHostRows;

// Worker threads that start only when the test says so, so that hosts can be
// held busy and results made to arrive at chosen moments.
struct HeldThreads {
  std::vector<std::function<void()>> bodies;
  bool fail = false;
  ThreadStarter Starter() {
    return [this](std::function<void()> body) {
      if (fail) return false;
      bodies.push_back(std::move(body));
      return true;
    };
  }
  void RunAll() {
    auto ready = std::move(bodies);
    bodies.clear();
    for (auto& body : ready) body();
  }
};

// A probe that answers at once and notes which host it was asked for.
struct ScriptedProbe {
  std::vector<std::string> hosts;
  std::int32_t code = 0;
  CalendarTime* clock = nullptr;
  ProbeFunction Function() {
    return [this](const ProbeRequest& request, ProbeResult& result) {
      hosts.push_back(request.Host);
      result.StartTime = *clock;
      result.ResultCode = code;
      result.RoundTripTime = 5;
      return code;
    };
  }
};

class Scheduler : public ::testing::Test {
 protected:
  Scheduler() {
    probe.clock = &now;
    scheduler = std::make_unique<ProbeScheduler>(
        mailbox, probe.Function(), PopupSender{},
        ProbeScheduler::Environment{[this] { return now; }, threads.Starter()});
  }
  // Workers still held at the end run now, while the probe they call exists,
  // so their jobs reach the mailbox, which frees them.
  ~Scheduler() override { threads.RunAll(); }
  HostRecord& AddHost(const char* name, std::int32_t delay, CalendarTime lastProbe = 0) {
    HostRecord& host = rows.Add();
    host.Host = name;
    host.Delay = delay;
    host.Timeout = 1;
    host.LastProbeTime = lastProbe;
    return host;
  }
  // One tick, then the workers it started run to the end.
  void TickAndFinish() {
    scheduler->ProcessTick(rows);
    threads.RunAll();
  }

  CalendarTime now = 1'000'000;
  ResultMailbox mailbox;
  HeldThreads threads;
  ScriptedProbe probe;
  FakeHostRows rows;
  std::unique_ptr<ProbeScheduler> scheduler;
};

TEST_F(Scheduler, StartsOneProbePerTickHoweverManyAreDue) {
  for (const char* name : {"a", "b", "c"}) AddHost(name, 10);
  scheduler->ProcessTick(rows);
  EXPECT_EQ(threads.bodies.size(), 1u);
  EXPECT_EQ(scheduler->OutstandingProbes, 1);
  scheduler->ProcessTick(rows);
  scheduler->ProcessTick(rows);
  EXPECT_EQ(threads.bodies.size(), 3u);
  EXPECT_EQ(scheduler->OutstandingProbes, 3);
  scheduler->ProcessTick(rows);
  EXPECT_EQ(threads.bodies.size(), 3u) << "busy hosts are never probed twice";
}

TEST_F(Scheduler, EarliestDueTimeWinsAndTheTopRowOnTies) {
  AddHost("late", 30, now - 50);      // due now - 20
  AddHost("tieTop", 10, now - 100);   // due now - 90
  AddHost("tieBottom", 5, now - 95);  // due now - 90
  AddHost("early", 5, now - 200);     // due now - 195
  for (int i = 0; i < 4; ++i) TickAndFinish();
  EXPECT_EQ(probe.hosts, (std::vector<std::string>{"early", "tieTop", "tieBottom", "late"}));
}

TEST_F(Scheduler, HostIsDueFromTheVerySecond) {
  AddHost("a", 10, now - 9);
  TickAndFinish();
  EXPECT_TRUE(probe.hosts.empty());
  now += 1;
  TickAndFinish();
  EXPECT_EQ(probe.hosts.size(), 1u);
}

TEST_F(Scheduler, ResultIsAppliedAtTheNextTick) {
  HostRecord& host = AddHost("a", 10);
  TickAndFinish();
  EXPECT_TRUE(host.Busy);
  EXPECT_EQ(host.SentCount, 0u);
  scheduler->ProcessTick(rows);
  EXPECT_FALSE(host.Busy);
  EXPECT_EQ(host.SentCount, 1u);
  EXPECT_EQ(host.LastProbeTime, now);
  EXPECT_EQ(scheduler->OutstandingProbes, 0);
}

TEST_F(Scheduler, ZeroDelayIsProbedAgainInTheTickThatAppliedItsResult) {
  HostRecord& host = AddHost("a", 0);
  TickAndFinish();
  scheduler->ProcessTick(rows);
  EXPECT_EQ(host.SentCount, 1u);
  EXPECT_TRUE(host.Busy) << "drain comes before the choice";
  EXPECT_EQ(threads.bodies.size(), 1u);
}

TEST_F(Scheduler, NewHostsGoFirstInOrderOfTheirDelay) {
  AddHost("probed", 1, now - 50);
  AddHost("new30", 30);
  AddHost("new10", 10);
  for (int i = 0; i < 3; ++i) TickAndFinish();
  EXPECT_EQ(probe.hosts, (std::vector<std::string>{"new10", "new30", "probed"}));
}

TEST_F(Scheduler, HugeDelayFromAHandEditedFileNeverComesDueAndDoesNotOverflow) {
  AddHost("never", INT32_MAX, INT32_MAX);
  AddHost("negative", INT32_MIN, 0);
  for (int i = 0; i < 3; ++i) TickAndFinish();
  EXPECT_EQ(probe.hosts, std::vector<std::string>(3, "negative"));
}

TEST_F(Scheduler, ResultOfADeletedHostIsDroppedButUncounted) {
  AddHost("gone", 10);
  HostRecord& kept = AddHost("kept", 10);
  scheduler->ProcessTick(rows);
  rows.Remove(0);
  HostRecord& sameName = AddHost("gone", 10);
  sameName.Busy = true;  // keep the scheduler off it
  threads.RunAll();
  scheduler->ProcessTick(rows);
  EXPECT_EQ(scheduler->OutstandingProbes, 1)
      << "the dropped job is uncounted, kept's probe is in flight";
  EXPECT_EQ(sameName.SentCount, 0u) << "a new host of the same name has a new id";
  EXPECT_EQ(kept.SentCount, 0u);
  EXPECT_EQ(mailbox.Take(), nullptr);
}

TEST_F(Scheduler, WithSchedulingOffATickOnlyDrains) {
  HostRecord& host = AddHost("a", 10);
  AddHost("b", 10);
  TickAndFinish();
  scheduler->SchedulingEnabled = false;
  scheduler->ProcessTick(rows);
  EXPECT_EQ(host.SentCount, 1u);
  EXPECT_EQ(scheduler->OutstandingProbes, 0);
  EXPECT_TRUE(threads.bodies.empty());
}

TEST_F(Scheduler, EmptyListDrainsAndStartsNothing) {
  ProbeJobPtr orphan(new ProbeJob);
  orphan->Request.HostId = -5;
  mailbox.Put(std::move(orphan));
  scheduler->OutstandingProbes = 1;
  scheduler->ProcessTick(rows);
  EXPECT_EQ(scheduler->OutstandingProbes, 0);
  EXPECT_TRUE(threads.bodies.empty());
}

TEST_F(Scheduler, ThirtyThreeWaitingResultsGrowTheMailboxToForty) {
  for (int i = 0; i < 33; ++i) AddHost("h", 10);
  for (int i = 0; i < 33; ++i) scheduler->ProcessTick(rows);
  ASSERT_EQ(threads.bodies.size(), 33u);
  threads.RunAll();
  EXPECT_EQ(mailbox.SlotCount(), 40u);
  EXPECT_EQ(mailbox.SlotOf(rows.RecordAt(32).HostId), 32);
  scheduler->SchedulingEnabled = false;
  scheduler->ProcessTick(rows);
  EXPECT_EQ(scheduler->OutstandingProbes, 0);
  EXPECT_EQ(mailbox.SlotCount(), 40u);
  for (int i = 0; i < 33; ++i) EXPECT_EQ(rows.RecordAt(i).SentCount, 1u);
}

TEST_F(Scheduler, FailedThreadStartLeavesNothingBusyOrCounted) {
  HostRecord& host = AddHost("a", 10);
  threads.fail = true;
  scheduler->ProcessTick(rows);
  EXPECT_FALSE(host.Busy);
  EXPECT_EQ(scheduler->OutstandingProbes, 0);
  EXPECT_EQ(mailbox.Take(), nullptr);
  threads.fail = false;
  TickAndFinish();
  EXPECT_EQ(probe.hosts.size(), 1u) << "the host is still due and tried again";
}

TEST(SchedulerThreads, ClosingWaitAppliesEveryProbeInFlight) {
  // Real worker threads, as the program runs them.
  ResultMailbox mailbox;
  std::atomic<int> probesRun{0};
  std::atomic<bool> released{false};
  ProbeFunction heldProbe = [&](const ProbeRequest&, ProbeResult& result) {
    while (!released.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    result.StartTime = 100;
    result.ResultCode = 610;
    probesRun.fetch_add(1);
    return 610;
  };
  CalendarTime now = 100;
  ProbeScheduler scheduler(mailbox, heldProbe, PopupSender{},
                           ProbeScheduler::Environment{[&] { return now; }, StartDetachedThread});
  FakeHostRows rows;
  for (int i = 0; i < 20; ++i) rows.Add().Delay = 10;
  for (int i = 0; i < 20; ++i) scheduler.ProcessTick(rows);
  EXPECT_EQ(scheduler.OutstandingProbes, 20);

  scheduler.SchedulingEnabled = false;
  released.store(true);
  while (scheduler.OutstandingProbes != 0) {
    scheduler.ProcessTick(rows);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(probesRun.load(), 20);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(rows.RecordAt(i).FailedCount, 1u);
    EXPECT_FALSE(rows.RecordAt(i).Busy);
  }
}

TEST(SchedulerThreads, ProbeThatRunsOutOfMemoryStillComesBack) {
  ResultMailbox mailbox;
  ProbeJobPtr job(new ProbeJob);
  job->Request.HostId = 7;
  ProbeThreadProc(std::move(job), mailbox, [](const ProbeRequest&, ProbeResult&) -> std::int32_t {
    throw std::bad_alloc();
  });
  ProbeJobPtr back = mailbox.Take();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Result.ResultCode, 240);
}

}  // namespace
}  // namespace kelvoran
