#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/calendar_time.h"

namespace kelvoran {

// What a probe needs to know, written once on the user-interface thread.
struct ProbeRequest {
  std::string Host;  // copy of the host's name or dotted address
  std::uint32_t PacketSize = 0;
  std::int32_t Timeout = 0;  // seconds
  std::int32_t HostId = 0;
};

// What the probe found out; all zero until the probe writes it.
struct ProbeResult {
  char ReplyText[32] = {};
  std::uint32_t SentSize = 0;
  std::uint32_t ReplySize = 0;
  std::uint32_t RoundTripTime = 0;  // milliseconds
  std::uint32_t Reserved = 0;
  std::int32_t ResultCode = 0;
  std::int32_t ResultValue = 0;
  CalendarTime StartTime = 0;  // taken before the name is resolved
};

// Carries one probe from the scheduler to its worker thread and back through
// the result mailbox. Belongs to exactly one thread at a time.
struct ProbeJob {
  ProbeRequest Request;
  ProbeResult Result;
  // Set when no worker thread could be started for it: the job comes back
  // without a result and the host was not probed.
  bool NeverRan = false;
  // Set when an EchoService took it rather than a worker thread.
  bool WithoutThread = false;
};

// Frees a job and the host name it owns. Accepts null.
void FreeProbeJob(ProbeJob* job);

struct ProbeJobDeleter {
  void operator()(ProbeJob* job) const { FreeProbeJob(job); }
};
using ProbeJobPtr = std::unique_ptr<ProbeJob, ProbeJobDeleter>;

// The echo probe: runs one probe on the request and writes the result,
// returning the final ResultCode. Runs on a worker thread.
using ProbeFunction = std::function<std::int32_t(const ProbeRequest& request, ProbeResult& result)>;

}  // namespace kelvoran
