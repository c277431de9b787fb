#pragma once

#include <functional>
#include <memory>

#include "engine/probe_job.h"

namespace kelvoran {

class ResultMailbox;

// Probes many hosts at once without a thread per probe: the platform sends
// and reads every echo through a few shared sockets on one thread of its own.
// Each finished job goes into the mailbox, as a worker thread's does.
class EchoService {
 public:
  virtual ~EchoService() = default;
  // Takes the job when this service can probe it; otherwise it stays with
  // the caller, for a worker thread.
  virtual bool Take(ProbeJobPtr& job) = 0;
  // Lets the service start what it took since the last Wake. A tick hands
  // over all its jobs first and wakes the service once.
  virtual void Wake() = 0;
};

// Makes the platform's service, or null when it has none or cannot start
// one now.
using EchoServiceMaker = std::function<std::unique_ptr<EchoService>(ResultMailbox& mailbox)>;

}  // namespace kelvoran
