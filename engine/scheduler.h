#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "engine/calendar_time.h"
#include "engine/echo_service.h"
#include "engine/popup_sender.h"
#include "engine/probe_job.h"
#include "engine/probe_launcher.h"
#include "platform/detached_thread.h"

namespace kelvoran {

class HostRows;
class HostRecord;
class ResultMailbox;
class ResultSink;

// The calendar clock, in whole seconds.
using Clock = std::function<CalendarTime()>;
// Runs the body on a new thread that is never joined. Returns false, or throws
// std::bad_alloc, when no thread could be started; the body has then not run.
using ThreadStarter = std::function<bool(std::function<void()> body)>;

CalendarTime SystemClock();

// The body of a worker thread: runs the probe on the job, hands the job to the
// mailbox and does not touch it again.
void ProbeThreadProc(ProbeJobPtr job, ResultMailbox& mailbox, const ProbeFunction& probe);

// Starts a worker thread running ProbeThreadProc on the job, which it then
// owns. False, the job left with the caller, when no thread started; throws
// std::bad_alloc when there was no memory for it.
bool StartWorker(ProbeJobPtr& job, ResultMailbox& mailbox, const ProbeFunction& probe,
                 const ThreadStarter& startThread);

// Decides when each host is probed and collects the results. Everything here
// runs on the user-interface thread, about once a second.
class ProbeScheduler {
 public:
  struct Environment {
    Clock now = SystemClock;
    ThreadStarter startThread = StartDetachedThread;
    // Above one probe per tick, worker threads are started by a launcher
    // thread of their own rather than by the tick.
    bool launchOffTick = true;
  };

  ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSenders senders,
                 Environment environment);
  // With the system clock and real threads.
  ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSenders senders);
  ~ProbeScheduler();

  // How many probes one tick may start. One is the pace the monitor was
  // designed for; a list too long to be served in turn within its hosts'
  // Delay needs more. Past 500 only the echo service keeps up.
  static constexpr int kMinProbesPerTick = 1;
  static constexpr int kMaxProbesPerTick = 10'000;
  // When more than one probe may start per tick, no probe starts on a thread
  // while this many are in flight on threads: every such probe holds one, and
  // a long list of silent hosts with long time-outs would otherwise pile them
  // up by the thousand. A probe counts until the tick after it ends, so a full
  // tick's starts always count: the limit leaves room for two ticks of the
  // most probes a tick may start on threads. Probes the echo service took
  // hold no thread and are bounded by the host list alone.
  static constexpr int kMaxThreadProbesPerTick = 500;
  static constexpr std::int32_t kMaxProbesInFlight = 2 * kMaxThreadProbesPerTick + 24;

  // Applies every finished result, then starts up to ProbesPerTick probes for
  // the idle hosts whose time has come, the one due soonest first.
  void ProcessTick(HostRows& rows);

  // Takes any number; what lies outside 1..10,000 is brought into range.
  void SetProbesPerTick(long long count);
  int ProbesPerTick() const { return probesPerTick_; }

  // Above one probe per tick, the jobs the platform's echo service takes go
  // there instead of to threads. Set before the first tick; none by default.
  void SetEchoService(EchoServiceMaker maker) { echoServiceMaker_ = std::move(maker); }

  // Hears of every applied result; null for none. Not owned.
  void SetResultSink(ResultSink* sink) { resultSink_ = sink; }

  // Cleared for good when the main window closes: ticks then only drain.
  bool SchedulingEnabled = true;
  // Probes handed to workers or the echo service whose jobs have not been
  // taken back yet.
  std::int32_t OutstandingProbes = 0;
  // Those of them handed to workers.
  std::int32_t ThreadProbes = 0;

 private:
  // A due host in the order of starting: the earliest due time first, the
  // row nearest the top on ties.
  struct DueRow {
    CalendarTime due;
    int row;
    auto operator<=>(const DueRow&) const = default;
  };

  void DrainResults(HostRows& rows);
  std::span<const DueRow> EarliestDueRows(HostRows& rows, std::size_t limit);
  void StartDueProbes(HostRows& rows);
  bool InFlightLimitReached() const;
  enum class Start { Started, NotThisOne, NoneMore };
  Start StartProbe(HostRecord& host);
  bool StartOnThread(ProbeJobPtr& job);
  ProbeLauncher* Launcher();
  EchoService* Service();

  ResultMailbox& mailbox_;
  ProbeFunction probe_;
  PopupSenders senders_;
  Environment environment_;
  int probesPerTick_ = kMinProbesPerTick;
  ResultSink* resultSink_ = nullptr;
  // The rows chosen by the current tick, room for ProbesPerTick; kept here so
  // a tick never allocates.
  std::vector<DueRow> earliest_ = std::vector<DueRow>(kMinProbesPerTick);
  // Made when first needed; stays null when no launcher thread can start, and
  // the tick then starts the workers itself.
  std::unique_ptr<ProbeLauncher> launcher_;
  bool launcherTried_ = false;
  EchoServiceMaker echoServiceMaker_;
  // Made when first needed, as the launcher is; null when the platform has none.
  std::unique_ptr<EchoService> service_;
  bool serviceTried_ = false;
};

}  // namespace kelvoran
