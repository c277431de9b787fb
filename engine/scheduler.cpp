#include "engine/scheduler.h"

#include <ctime>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/accounting.h"
#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/result_mailbox.h"
#include "engine/result_text.h"

namespace kelvoran {

CalendarTime SystemClock() { return static_cast<CalendarTime>(std::time(nullptr)); }

bool StartDetachedThread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    // EAGAIN: out of threads or memory for a stack.
    return false;
  }
}

void ProbeThreadProc(ProbeJobPtr job, ResultMailbox& mailbox, const ProbeFunction& probe) {
  try {
    probe(job->Request, job->Result);
  } catch (const std::bad_alloc&) {
    // The job must come back whatever happens, or the closing wait never ends.
    job->Result.ResultCode = ResultMemoryError;
  }
  mailbox.Put(std::move(job));
}

ProbeScheduler::ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSender sendPopup,
                               Environment environment)
    : mailbox_(mailbox),
      probe_(std::move(probe)),
      sendPopup_(std::move(sendPopup)),
      environment_(std::move(environment)) {}

ProbeScheduler::ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSender sendPopup)
    : ProbeScheduler(mailbox, std::move(probe), std::move(sendPopup), Environment{}) {}

void ProbeScheduler::ProcessTick(HostRows& rows) {
  DrainResults(rows);
  if (!SchedulingEnabled) return;
  const int row = ChooseDueRow(rows);
  if (row >= 0) StartProbe(rows.RecordAt(row));
}

void ProbeScheduler::DrainResults(HostRows& rows) {
  while (ProbeJobPtr job = mailbox_.Take()) {
    --OutstandingProbes;
    // A host deleted while its probe ran has no row: its result is dropped.
    const int row = rows.FindRowByHostId(job->Request.HostId);
    if (row >= 0) ApplyResult(rows, row, *job, sendPopup_);
  }
}

int ProbeScheduler::ChooseDueRow(HostRows& rows) const {
  int candidate = -1;
  CalendarTime earliest = 0;
  const int count = rows.RowCount();
  for (int row = 0; row < count; ++row) {
    const HostRecord& host = rows.RecordAt(row);
    if (host.Busy) continue;
    const CalendarTime due = host.LastProbeTime + host.Delay;
    // Strictly smaller: on equal due times the row nearest the top wins.
    if (candidate < 0 || due < earliest) {
      candidate = row;
      earliest = due;
    }
  }
  if (candidate < 0 || earliest > environment_.now()) return -1;
  return candidate;
}

// When there is no thread, or no memory for the job or the worker, the job goes,
// the host stays idle and still due, so a later tick tries again, and nothing
// is left counted for the closing wait.
void ProbeScheduler::StartProbe(HostRecord& host) {
  try {
    ProbeJobPtr job(new ProbeJob);
    host.MakeProbeJob(*job);
    auto body = [job = job.get(), &mailbox = mailbox_, probe = probe_] {
      ProbeThreadProc(ProbeJobPtr(job), mailbox, probe);
    };
    if (!environment_.startThread(std::move(body))) return;
    job.release();  // the worker owns it now
  } catch (const std::bad_alloc&) {
    // Out of the tick, the exception would end the event loop and the program.
    return;
  }
  host.Busy = true;
  ++OutstandingProbes;
}

}  // namespace kelvoran
