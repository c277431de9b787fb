#pragma once

#include <cstdint>
#include <functional>

#include "engine/calendar_time.h"
#include "engine/popup_sender.h"
#include "engine/probe_job.h"

namespace kelvoran {

class HostRows;
class HostRecord;
class ResultMailbox;

// The calendar clock, in whole seconds.
using Clock = std::function<CalendarTime()>;
// Runs the body on a new thread that is never joined. Returns false, or throws
// std::bad_alloc, when no thread could be started; the body has then not run.
using ThreadStarter = std::function<bool(std::function<void()> body)>;

CalendarTime SystemClock();
bool StartDetachedThread(std::function<void()> body);

// The body of a worker thread: runs the probe on the job, hands the job to the
// mailbox and does not touch it again.
void ProbeThreadProc(ProbeJobPtr job, ResultMailbox& mailbox, const ProbeFunction& probe);

// Decides when each host is probed and collects the results. Everything here
// runs on the user-interface thread, about once a second.
class ProbeScheduler {
 public:
  struct Environment {
    Clock now = SystemClock;
    ThreadStarter startThread = StartDetachedThread;
  };

  ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSender sendPopup,
                 Environment environment);
  // With the system clock and real threads.
  ProbeScheduler(ResultMailbox& mailbox, ProbeFunction probe, PopupSender sendPopup);

  // Applies every finished result, then starts at most one probe: the one for
  // the idle host that is due soonest, if its time has come.
  void ProcessTick(HostRows& rows);

  // Cleared for good when the main window closes: ticks then only drain.
  bool SchedulingEnabled = true;
  // Probes handed to workers whose jobs have not been taken back yet.
  std::int32_t OutstandingProbes = 0;

 private:
  void DrainResults(HostRows& rows);
  int ChooseDueRow(HostRows& rows) const;
  void StartProbe(HostRecord& host);

  ResultMailbox& mailbox_;
  ProbeFunction probe_;
  PopupSender sendPopup_;
  Environment environment_;
};

}  // namespace kelvoran
