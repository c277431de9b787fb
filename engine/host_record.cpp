#include "engine/host_record.h"

#include "engine/probe_job.h"

namespace kelvoran {
namespace {

// Process-wide and never reused. Records are only constructed on the
// user-interface thread, so the counter needs no lock.
std::int32_t g_lastHostId = 0;

}  // namespace

std::int32_t HostRecord::NextHostId() {
  // Wrap rather than overflow: two thousand million constructions are not a
  // realistic run, but signed overflow would be undefined.
  g_lastHostId = static_cast<std::int32_t>(static_cast<std::uint32_t>(g_lastHostId) + 1u);
  return g_lastHostId;
}

std::int32_t HostRecord::LastHostId() { return g_lastHostId; }

HostRecord::HostRecord() : HostId(NextHostId()) {}

void HostRecord::CopySettings(const HostRecord& source) {
  Host = source.Host;
  Delay = source.Delay;
  FailPeriod = source.FailPeriod;
  SuccessPeriod = source.SuccessPeriod;
  PacketSize = source.PacketSize;
  Timeout = source.Timeout;
  PopupDestination = source.PopupDestination;
  PopupMessage = source.PopupMessage;
  Description = source.Description;
  PopupWhenOk = source.PopupWhenOk;
  AlertChannels = source.AlertChannels;
  DependsOn = source.DependsOn;
  MutedUntil = source.MutedUntil;
  Quality = source.Quality;
}

void HostRecord::ResetResults() {
  LastDelay = 0;
  Status = StatusWarning;
  MinResponse = NoMinResponse;
  AvgResponse = 0;
  MaxResponse = 0;
  SentCount = 0;
  ReceivedCount = 0;
  FailedCount = 0;
  ResponseTotal = 0;
  LastProbeTime = 0;
  TrendStart = 0;
  Trend = TrendNone;
  PopupSent = false;
  OutageStart.reset();
  ResultCode = 0;
  ResultValue = 0;
  UnreachableBehind.clear();
  QualityFlags = 0;
}

void HostRecord::MakeProbeJob(ProbeJob& job) const {
  job.Request.Host = Host;
  job.Request.PacketSize = PacketSize;
  job.Request.Timeout = Timeout;
  job.Request.HostId = HostId;
  job.Result = ProbeResult{};
}

}  // namespace kelvoran
