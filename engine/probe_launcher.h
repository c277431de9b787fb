#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/probe_job.h"

namespace kelvoran {

class ResultMailbox;

// Starts the worker threads of many probes away from the user-interface
// thread. Creating a thread costs the caller tens of microseconds (the stack
// mapping and clone), so a tick starting hundreds of probes would hold the
// window for milliseconds; handing a job over here costs a queue entry.
// A job whose thread cannot be started comes back through the mailbox marked
// NeverRan, so the tick that takes it knows the host was not probed.
class ProbeLauncher {
 public:
  using StartThread = std::function<bool(std::function<void()> body)>;

  // startThread starts one worker, as the scheduler's ThreadStarter does.
  ProbeLauncher(ResultMailbox& mailbox, ProbeFunction probe, StartThread startThread);
  // Jobs still queued are freed unstarted; workers already running go on.
  ~ProbeLauncher();
  ProbeLauncher(const ProbeLauncher&) = delete;
  ProbeLauncher& operator=(const ProbeLauncher&) = delete;

  // Starts the launcher's own thread; false when there is none to be had.
  bool Open();
  // Queues the job; Wake() lets the launcher start what is queued. A tick
  // queues all its jobs first and wakes the launcher once.
  void Queue(ProbeJobPtr job);
  void Wake();

 private:
  void Run();
  void Launch(ProbeJobPtr job);

  ResultMailbox& mailbox_;
  ProbeFunction probe_;
  StartThread startThread_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<ProbeJobPtr> queue_;
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace kelvoran
