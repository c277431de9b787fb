// What alert channels add to the tick: the results applied, each raising an
// alert through the hook, with the dispatcher idle or with a thousand alerts
// waiting on a server that never answers. The second must cost what the
// first does: the tick only hands alerts over.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "alert/alert_dispatcher.h"
#include "alert/alert_raiser.h"
#include "engine/accounting.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

constexpr int kHosts = 1'000;
constexpr int kResultsPerTick = 100;

class NoRefreshRows : public testing::FakeHostRows {
 public:
  void FormatRow(int) override {}
};

// Answers at once, or, while `dead`, holds each attempt until its time limit
// (or the end of the run).
class BenchSender final : public ChannelSender {
 public:
  explicit BenchSender(bool dead) : dead_(dead) {}
  ~BenchSender() override { Release(); }
  AttemptResult Send(const AlertChannel& channel, const AlertEvent&, const std::string&) override {
    std::unique_lock lock(mutex_);
    if (dead_)
      released_.wait_for(lock, std::chrono::seconds(channel.totalSeconds),
                         [this] { return !dead_; });
    return {AttemptOutcome::Sent, "200 OK"};
  }
  void Release() {
    {
      const std::lock_guard lock(mutex_);
      dead_ = false;
    }
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool dead_;
};

void BM_TickRaisingAlerts(benchmark::State& state) {
  const bool deadServer = state.range(0) == 1;
  BenchSender sender(deadServer);
  auto dispatcher = std::make_unique<AlertDispatcher>(ChannelSenders{.webhook = &sender},
                                                      SecretLookup{}, nullptr);
  AlertChannel hook;
  hook.name = "hook";
  hook.kind = ChannelKind::Webhook;
  hook.alsoWhenOk = true;
  dispatcher->SetChannels({hook});
  AlertRaiser raiser(
      [&](const std::vector<std::string>& channels, const AlertEvent& event) {
        if (state.range(0) != 2) dispatcher->Raise(channels, event);
      },
      {[](std::int64_t) { return 3600; }, "mon1"});
  const PopupSenders senders({}, {}, raiser.Observer());

  NoRefreshRows rows;
  for (int i = 0; i < kHosts; ++i) {
    HostRecord& host = rows.Add();
    host.Host = "host-" + std::to_string(i);
    host.AlertChannels = "hook";
    host.Status = StatusOk;
    // Periods of 0: every result changes the status, and every change is an
    // outage's start or end, so every result raises an alert.
    host.FailPeriod = host.SuccessPeriod = 0;
  }
  if (deadServer) {
    for (int i = 0; i < kHosts; ++i) {
      AlertEvent waiting;
      waiting.host = "waiting-" + std::to_string(i);
      dispatcher->Raise({"hook"}, waiting);
    }
  }

  ProbeJob job;
  CalendarTime stamp = 1'800'000'000;
  int row = 0;
  for (auto _ : state) {
    ++stamp;
    for (int i = 0; i < kResultsPerTick; ++i, row = (row + 1) % kHosts) {
      HostRecord& host = rows.RecordAt(row);
      host.MakeProbeJob(job);
      job.Result.StartTime = stamp;
      job.Result.ResultCode = host.Status == StatusOk ? ResultNoReply : ResultSuccess;
      job.Result.RoundTripTime = 3;
      const std::int32_t before = host.Status;
      ApplyResult(rows, row, job, senders);
      raiser.ResultApplied(host, job.Result, before);
    }
    // Ticks come a second apart: an idle dispatcher has delivered the
    // tick's alerts before the next, and stays idle. The dead server's
    // queue only grows, up to its bound.
    state.PauseTiming();
    while (!deadServer && dispatcher->Waiting() > 0)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    state.ResumeTiming();
  }
  state.counters["waiting"] = static_cast<double>(dispatcher->Waiting());
  sender.Release();
  dispatcher.reset();
}
BENCHMARK(BM_TickRaisingAlerts)
    ->ArgName("dead_server")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
}  // namespace kelvoran
