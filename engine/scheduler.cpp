#include "engine/scheduler.h"

#include <algorithm>
#include <ctime>
#include <new>
#include <utility>

#include "engine/accounting.h"
#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/result_mailbox.h"
#include "engine/result_sink.h"
#include "engine/result_text.h"

namespace kelvoran {
namespace {

// The flag is set before the service may hand the job to the mailbox.
bool HandToService(EchoService& service, ProbeJobPtr& job) {
  job->WithoutThread = true;
  if (service.Take(job)) return true;
  job->WithoutThread = false;
  return false;
}

}  // namespace

CalendarTime SystemClock() { return static_cast<CalendarTime>(std::time(nullptr)); }

void ProbeThreadProc(ProbeJobPtr job, ResultMailbox& mailbox, const ProbeFunction& probe) {
  try {
    probe(job->Request, job->Result);
  } catch (const std::bad_alloc&) {
    // The job must come back whatever happens, or the closing wait never ends.
    job->Result.ResultCode = ResultMemoryError;
  }
  mailbox.Put(std::move(job));
}

bool StartWorker(ProbeJobPtr& job, ResultMailbox& mailbox, const ProbeFunction& probe,
                 const ThreadStarter& startThread) {
  auto body = [job = job.get(), &mailbox, probe] {
    ProbeThreadProc(ProbeJobPtr(job), mailbox, probe);
  };
  if (!startThread(std::move(body))) return false;
  job.release();
  return true;
}

ProbeScheduler::ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSenders senders,
                               Environment environment)
    : mailbox_(mailbox),
      probe_(std::move(probe)),
      senders_(std::move(senders)),
      environment_(std::move(environment)) {}

ProbeScheduler::ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSenders senders)
    : ProbeScheduler(mailbox, std::move(probe), std::move(senders), Environment{}) {}

ProbeScheduler::~ProbeScheduler() = default;

void ProbeScheduler::ProcessTick(HostRows& rows) {
  DrainResults(rows);
  if (!SchedulingEnabled) return;
  StartDueProbes(rows);
}

void ProbeScheduler::DrainResults(HostRows& rows) {
  while (ProbeJobPtr job = mailbox_.Take()) {
    --OutstandingProbes;
    if (!job->WithoutThread) --ThreadProbes;
    // A host deleted while its probe ran has no row: its result is dropped.
    const int row = rows.FindRowByHostId(job->Request.HostId);
    if (row < 0) continue;
    // Not probed: idle again and still due, so a later tick tries again.
    HostRecord& host = rows.RecordAt(row);
    if (job->NeverRan) {
      host.Busy = false;
      continue;
    }
    const std::int32_t statusBefore = host.Status;
    ApplyResult(rows, row, *job, senders_);
    if (resultSink_) resultSink_->ResultApplied(host, job->Result, statusBefore);
  }
  if (resultSink_) resultSink_->TickEnded();
}

// One pass over the rows keeps the `limit` earliest in a max-heap, so a long
// list costs one visit per row however many probes start. Rows come from the
// top, so a later row with an equal due time never displaces an earlier one.
std::span<const ProbeScheduler::DueRow> ProbeScheduler::EarliestDueRows(HostRows& rows,
                                                                        std::size_t limit) {
  const CalendarTime now = environment_.now();
  DueRow* const first = earliest_.data();
  std::size_t kept = 0;
  const int count = rows.RowCount();
  for (int row = 0; row < count; ++row) {
    const HostRecord& host = rows.RecordAt(row);
    const DueRow candidate{host.LastProbeTime + host.Delay, row};
    // A host is due from the very second LastProbeTime + Delay.
    if (host.Busy || candidate.due > now) continue;
    if (kept < limit) {
      earliest_[kept++] = candidate;
      std::push_heap(first, first + kept);
    } else if (candidate < earliest_.front()) {
      std::pop_heap(first, first + kept);
      earliest_[kept - 1] = candidate;
      std::push_heap(first, first + kept);
    }
  }
  std::sort_heap(first, first + kept);
  return {earliest_.data(), kept};
}

// A due host left over simply waits for a later tick.
void ProbeScheduler::StartDueProbes(HostRows& rows) {
  for (const DueRow& due : EarliestDueRows(rows, static_cast<std::size_t>(probesPerTick_))) {
    if (StartProbe(rows.RecordAt(due.row)) == Start::NoneMore) break;
  }
  if (service_) service_->Wake();
  if (launcher_) launcher_->Wake();
}

EchoService* ProbeScheduler::Service() {
  if (probesPerTick_ == kMinProbesPerTick || !echoServiceMaker_) return nullptr;
  if (!serviceTried_) {
    serviceTried_ = true;
    service_ = echoServiceMaker_(mailbox_);
  }
  return service_.get();
}

ProbeLauncher* ProbeScheduler::Launcher() {
  if (probesPerTick_ == kMinProbesPerTick || !environment_.launchOffTick) return nullptr;
  if (!launcherTried_) {
    auto launcher = std::make_unique<ProbeLauncher>(mailbox_, probe_, environment_.startThread);
    launcherTried_ = true;
    if (launcher->Open()) launcher_ = std::move(launcher);
  }
  return launcher_.get();
}

bool ProbeScheduler::InFlightLimitReached() const {
  // At one probe per tick the pace alone bounds the threads, as it always has.
  return probesPerTick_ > kMinProbesPerTick && ThreadProbes >= kMaxProbesInFlight;
}

void ProbeScheduler::SetProbesPerTick(long long count) {
  const auto clamped =
      static_cast<int>(std::clamp<long long>(count, kMinProbesPerTick, kMaxProbesPerTick));
  try {
    earliest_.resize(static_cast<std::size_t>(clamped));
  } catch (const std::bad_alloc&) {
    return;  // the pace stays as it was
  }
  probesPerTick_ = clamped;
}

// When there is no thread, or no memory for the job or the worker, the job goes,
// the host stays idle and still due, so a later tick tries again, and nothing
// is left counted for the closing wait. A job handed to the launcher or the
// echo service counts from now; if it cannot run there, it comes back NeverRan.
ProbeScheduler::Start ProbeScheduler::StartProbe(HostRecord& host) {
  try {
    ProbeJobPtr job(new ProbeJob);
    host.MakeProbeJob(*job);
    EchoService* service = Service();
    if (service && HandToService(*service, job)) {
      // The service owns the job now.
    } else if (InFlightLimitReached()) {
      // Hosts the service takes may still start; on threads none would.
      return service ? Start::NotThisOne : Start::NoneMore;
    } else if (!StartOnThread(job)) {
      return Start::NoneMore;
    }
  } catch (const std::bad_alloc&) {
    // Out of the tick, the exception would end the event loop and the program.
    return Start::NoneMore;
  }
  host.Busy = true;
  ++OutstandingProbes;
  return Start::Started;
}

bool ProbeScheduler::StartOnThread(ProbeJobPtr& job) {
  if (ProbeLauncher* launcher = Launcher())
    launcher->Queue(std::move(job));
  else if (!StartWorker(job, mailbox_, probe_, environment_.startThread))
    return false;
  ++ThreadProbes;
  return true;
}

}  // namespace kelvoran
