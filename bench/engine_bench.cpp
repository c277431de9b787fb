// Costs of the work the user-interface thread does every second.
#include <benchmark/benchmark.h>

#include "engine/accounting.h"
#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

// A tick over a large list in which nothing is due: the choice visits every row.
void BM_ProcessTickIdleRows(benchmark::State& state) {
  testing::FakeHostRows rows;
  const CalendarTime now = 1'800'000'000;
  for (int i = 0; i < state.range(0); ++i) {
    HostRecord& host = rows.Add();
    host.Delay = 10;
    host.LastProbeTime = now - (i % 5);
  }
  ResultMailbox mailbox;
  ProbeScheduler scheduler(mailbox, ProbeFunction{}, PopupSender{},
                           {[now] { return now; }, [](std::function<void()>) { return false; }});
  for (auto _ : state) scheduler.ProcessTick(rows);
}
BENCHMARK(BM_ProcessTickIdleRows)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMicrosecond);

class NoRefreshRows : public testing::FakeHostRows {
 public:
  void FormatRow(int) override {}
};

void BM_ApplyResult(benchmark::State& state) {
  NoRefreshRows rows;
  HostRecord& host = rows.Add();
  host.FailPeriod = 60;
  host.SuccessPeriod = 60;
  ProbeJob job;
  host.MakeProbeJob(job);
  CalendarTime stamp = 1'800'000'000;
  std::uint32_t i = 0;
  for (auto _ : state) {
    job.Result.StartTime = ++stamp;
    // Mostly successes, a failure now and then, so the status keeps moving.
    job.Result.ResultCode = (++i % 7 == 0) ? 610 : 0;
    job.Result.RoundTripTime = i & 63u;
    ApplyResult(rows, 0, job, PopupSender{});
    benchmark::DoNotOptimize(host.Status);
  }
}
BENCHMARK(BM_ApplyResult);

void BM_MailboxPutTake(benchmark::State& state) {
  ResultMailbox mailbox;
  ProbeJobPtr job(new ProbeJob);
  for (auto _ : state) {
    mailbox.Put(std::move(job));
    job = mailbox.Take();
    benchmark::DoNotOptimize(job.get());
  }
}
BENCHMARK(BM_MailboxPutTake);

}  // namespace
}  // namespace kelvoran
