#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "engine/result_mailbox.h"

namespace kelvoran {
namespace {

ProbeJobPtr JobFor(std::int32_t hostId) {
  ProbeJobPtr job(new ProbeJob);
  job->Request.HostId = hostId;
  return job;
}

TEST(ResultMailbox, TakesInSlotOrderAndReusesTheFirstEmptySlot) {
  ResultMailbox mailbox;
  EXPECT_EQ(mailbox.Take(), nullptr);
  mailbox.Put(JobFor(1));
  mailbox.Put(JobFor(2));
  mailbox.Put(JobFor(3));
  EXPECT_EQ(mailbox.Take()->Request.HostId, 1);
  mailbox.Put(JobFor(4));  // lands in the slot 1 left
  EXPECT_EQ(mailbox.SlotOf(4), 0);
  EXPECT_EQ(mailbox.Take()->Request.HostId, 4);
  EXPECT_EQ(mailbox.Take()->Request.HostId, 2);
  EXPECT_EQ(mailbox.Take()->Request.HostId, 3);
  EXPECT_EQ(mailbox.Take(), nullptr);
}

TEST(ResultMailbox, GrowsByEightAndNeverShrinks) {
  ResultMailbox mailbox;
  EXPECT_EQ(mailbox.SlotCount(), 32u);
  for (std::int32_t id = 1; id <= 32; ++id) mailbox.Put(JobFor(id));
  EXPECT_EQ(mailbox.SlotCount(), 32u);
  mailbox.Put(JobFor(33));
  EXPECT_EQ(mailbox.SlotCount(), 40u);
  EXPECT_EQ(mailbox.SlotOf(33), 32);
  int taken = 0;
  while (mailbox.Take()) ++taken;
  EXPECT_EQ(taken, 33);
  EXPECT_EQ(mailbox.SlotCount(), 40u);
  for (std::int32_t id = 1; id <= 41; ++id) mailbox.Put(JobFor(id));
  EXPECT_EQ(mailbox.SlotCount(), 48u);
}

TEST(ResultMailbox, JobsLeftAtDestructionAreFreed) {
  // LeakSanitizer fails this test if the mailbox forgets them.
  ResultMailbox mailbox;
  mailbox.Put(JobFor(1));
  mailbox.Put(JobFor(2));
}

TEST(ResultMailbox, ManyWritersOneReaderLoseNothing) {
  constexpr int kThreads = 16;
  constexpr int kJobsEach = 500;
  ResultMailbox mailbox;
  std::atomic<int> running{kThreads};
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kJobsEach; ++i) {
        ProbeJobPtr job = JobFor(t * kJobsEach + i);
        job->Result.RoundTripTime = static_cast<std::uint32_t>(i);  // written before Put
        mailbox.Put(std::move(job));
      }
      running.fetch_sub(1);
    });
  }
  std::set<std::int32_t> seen;
  auto drain = [&] {
    while (ProbeJobPtr job = mailbox.Take()) {
      EXPECT_EQ(job->Result.RoundTripTime,
                static_cast<std::uint32_t>(job->Request.HostId % kJobsEach));
      EXPECT_TRUE(seen.insert(job->Request.HostId).second) << "taken twice";
    }
  };
  while (running.load() > 0) drain();
  for (auto& w : writers) w.join();
  drain();
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kJobsEach));
}

}  // namespace
}  // namespace kelvoran
