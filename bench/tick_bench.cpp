// The main window's one-second tick with a long list: results taken from the
// real mailbox and applied to the real view, rows repainted.
//
// Needs an X server:  tests/ui/with-xvfb build/bench/tick_bench
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/memconf.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/host_record.h"
#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "ui/main_window/main_frame.h"
#include "ui/main_window/tessarel_view.h"

namespace kelvoran {
namespace {

constexpr CalendarTime kNow = 1'800'000'000;

// A shown main window with `hosts` rows, fed through its own mailbox. Its
// workers wait until the benchmark runs them, outside the measured time.
class TickFixture {
 public:
  // With realThreads, probes run on threads of their own, started as in the
  // program, instead of waiting for RunWorkers.
  explicit TickFixture(int hosts, CalendarTime lastProbe = kNow,
                       const std::string& settingsPath = "/nonexistent/KELVORAN.INI",
                       bool realThreads = false)
      : realThreads_(realThreads),
        scheduler_(mailbox_, AnsweringProbe(), PopupSender([](HostRecord&) { return 0; }),
                   {[this] { return now_.load(); },
                    [this](std::function<void()> body) {
                      if (realThreads_) return StartDetachedThread(std::move(body));
                      workers_.push_back(std::move(body));
                      return true;
                    },
                    realThreads}) {
    frame_ = new CMainFrame(scheduler_, profile_, settingsPath, "Kelvoran");
    frame_->View().InitialUpdate();
    for (int i = 0; i < hosts; ++i) {
      auto host = std::make_unique<HostRecord>();
      host->Host = "127." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ".1";
      host->Delay = 10;
      // By default nothing is due: the tick still visits every row to find out.
      host->LastProbeTime = lastProbe;
      hostIds_.push_back(host->HostId);
      frame_->View().FormatRow(frame_->View().AddRow(std::move(host)));
    }
    frame_->Show();
    frame_->Update();
  }
  ~TickFixture() {
    // The closing wait: every job back before the mailbox goes.
    RunWorkers();
    scheduler_.SchedulingEnabled = false;
    while (scheduler_.OutstandingProbes != 0) frame_->View().ProcessTick();
    frame_->Destroy();
    wxTheApp->ProcessIdle();
  }

  // Puts finished probes of `count` hosts spread over the list into the
  // mailbox, as worker threads do.
  void PostResults(int count) {
    for (int i = 0; i < count; ++i) {
      const std::size_t index = (next_++ * 97) % hostIds_.size();
      ProbeJobPtr job(new ProbeJob);
      job->Request.HostId = hostIds_[index];
      job->Result.StartTime = kNow - 1;
      job->Result.SentSize = job->Result.ReplySize = 32;
      job->Result.RoundTripTime = static_cast<std::uint32_t>(next_ % 40);
      mailbox_.Put(std::move(job));
      ++scheduler_.OutstandingProbes;
    }
  }
  // The probes started by the last tick come back, one second later.
  void RunWorkers() {
    for (auto& body : std::exchange(workers_, {})) body();
    if (realThreads_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ++now_;
  }
  CMainFrame& Frame() { return *frame_; }
  ProbeScheduler& Scheduler() { return scheduler_; }

 private:
  ProbeFunction AnsweringProbe() {
    return [this](const ProbeRequest&, ProbeResult& result) {
      result.StartTime = now_;
      result.SentSize = result.ReplySize = 32;
      result.RoundTripTime = 3;
      return result.ResultCode = 0;
    };
  }

  // Read by the probes on their threads too.
  std::atomic<CalendarTime> now_ = kNow;
  const bool realThreads_;
  std::vector<std::function<void()>> workers_;
  ResultMailbox mailbox_;
  ProbeScheduler scheduler_;
  wxMemoryConfig profile_;
  CMainFrame* frame_;
  std::vector<std::int32_t> hostIds_;
  std::size_t next_ = 0;
};

// Posts the results, then runs the tick and `after` under the clock.
template <typename After>
void TickLoop(benchmark::State& state, After after) {
  TickFixture fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    fixture.PostResults(static_cast<int>(state.range(1)));
    state.ResumeTiming();
    fixture.Frame().View().ProcessTick();
    after(fixture.Frame());
  }
}

// The tick when nothing is due and nothing came back, the state a long list
// spends nearly all its ticks in: one visit per row of the real view.
void BM_TickIdleRows(benchmark::State& state) {
  TickFixture fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) fixture.Frame().View().ProcessTick();
}
BENCHMARK(BM_TickIdleRows)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMicrosecond);

// The tick itself: the list control marks the changed cells.
void BM_TickApplyingResults(benchmark::State& state) {
  TickLoop(state, [](CMainFrame&) {});
}
BENCHMARK(BM_TickApplyingResults)->Args({1'000, 10})->Unit(benchmark::kMillisecond);

// The tick and what follows before the next one: the control's idle-time
// layout and the repaint of the changed rows.
void BM_TickApplyingResultsAndRepaint(benchmark::State& state) {
  TickLoop(state, [](CMainFrame& frame) {
    wxTheApp->ProcessIdle();
    frame.Update();
  });
}
BENCHMARK(BM_TickApplyingResultsAndRepaint)->Args({1'000, 10})->Unit(benchmark::kMillisecond);

// A long list at more than one probe per second, in its steady state: every
// host is overdue, so each tick applies the results of the probes the last
// tick started and starts as many of the earliest due hosts again.
// The third argument 1 runs the probes on real threads, started as in the
// program, and counts the repaint of the changed rows too.
void BM_TickStartingProbesPerSecond(benchmark::State& state) {
  const bool realThreads = state.range(2) != 0;
  TickFixture fixture(static_cast<int>(state.range(0)), kNow - 100, "/nonexistent/KELVORAN.INI",
                      realThreads);
  fixture.Scheduler().SetProbesPerTick(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    fixture.RunWorkers();
    state.ResumeTiming();
    fixture.Frame().View().ProcessTick();
    if (!realThreads) continue;
    wxTheApp->ProcessIdle();
    fixture.Frame().Update();
  }
}
BENCHMARK(BM_TickStartingProbesPerSecond)
    ->Args({10'000, 100, 0})
    ->Args({10'000, 100, 1})
    ->Unit(benchmark::kMillisecond);

// The start-up's share of the list: the main window created and its rows
// loaded from a settings file of that many hosts, whose file order is not
// their name order.
void BM_StartupWindowWithHostList(benchmark::State& state) {
  const std::string path = "/tmp/kelvoran-bench-" + std::to_string(::getpid()) + ".ini";
  {
    std::ofstream file(path);
    for (int i = 0; i < state.range(0); ++i)
      file << "[host" << i << "]\nHost=127." << i / 250 << '.' << i % 250 << ".1\nDelay=10\n";
  }
  ResultMailbox mailbox;
  ProbeScheduler scheduler(mailbox, ProbeFunction{}, PopupSender{});
  wxMemoryConfig profile;
  for (auto _ : state) {
    auto* frame = new CMainFrame(scheduler, profile, path, "Kelvoran");
    frame->View().InitialUpdate();
    frame->Show();
    frame->Update();
    state.PauseTiming();
    frame->Destroy();
    wxTheApp->ProcessIdle();
    state.ResumeTiming();
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_StartupWindowWithHostList)
    ->Arg(0)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(50'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);

// Host > Import... of a list of `hosts` names into a list of 1,000: parsing,
// the rows, their repaint and the one write of the settings file.
void BM_ImportHosts(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < state.range(0); ++i)
    text += "imported" + std::to_string(i) + ".example, Host number " + std::to_string(i) + "\n";
  const std::string path = "/tmp/kelvoran-bench-" + std::to_string(::getpid()) + ".ini";
  std::unique_ptr<TickFixture> fixture;
  for (auto _ : state) {
    state.PauseTiming();
    fixture.reset();
    std::remove(path.c_str());
    fixture = std::make_unique<TickFixture>(1'000, kNow, path);
    state.ResumeTiming();
    const ImportSummary summary = fixture->Frame().View().ImportHosts(ParseHostListText(text));
    fixture->Frame().Update();
    benchmark::DoNotOptimize(summary.added);
  }
  fixture.reset();
  std::remove(path.c_str());
}
BENCHMARK(BM_ImportHosts)
    ->Arg(10'000)
    ->Arg(30'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  wxApp::SetInstance(new kelvoran::BenchApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "cannot open the X display (run under tests/ui/with-xvfb)\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return 0;
}
