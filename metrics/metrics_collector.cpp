#include "metrics/metrics_collector.h"

#include <algorithm>
#include <iterator>

#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"

namespace kelvoran {

FailureKind FailureKindOf(std::int32_t resultCode) {
  switch (resultCode) {
    case ResultNoReply:
    case IpRequestTimedOut:
      return FailureKind::TimedOut;
    case IpDestNetUnreachable:
    case IpDestHostUnreachable:
    case IpDestProtUnreachable:
    case IpDestPortUnreachable:
    case IpBadRoute:
    case IpTtlExpiredTransit:
      return FailureKind::Unreachable;
    default:
      return FailureKind::Other;
  }
}

void MetricsCollector::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                     std::int32_t statusBefore) {
  HostFigures& figures = counts_[host.HostId].figures;
  if (host.Status != statusBefore) figures.lastChange = result.StartTime;
  ++figures.sent;
  if (result.ResultCode != ResultSuccess) {
    ++figures.failures[static_cast<std::size_t>(FailureKindOf(result.ResultCode))];
    return;
  }
  ++figures.replies;
  figures.roundTripMillisecondsTotal += result.RoundTripTime;
  const double seconds = result.RoundTripTime / 1000.0;
  const auto bucket = std::lower_bound(kRoundTripBuckets.begin(), kRoundTripBuckets.end(), seconds);
  if (bucket != kRoundTripBuckets.end())
    ++figures.roundTrips[static_cast<std::size_t>(bucket - kRoundTripBuckets.begin())];
}

MetricsSnapshot MetricsCollector::Capture(HostRows& rows, std::int32_t probesInFlight,
                                          CalendarTime now) {
  MetricsSnapshot snapshot;
  snapshot.probesInFlight = probesInFlight;
  const int rowCount = rows.RowCount();
  snapshot.hosts.reserve(static_cast<std::size_t>(rowCount));
  for (int row = 0; row < rowCount; ++row) {
    const HostRecord& record = rows.RecordAt(row);
    Counts& counts = counts_[record.HostId];
    HostFigures& figures = counts.figures;
    // A host never changed is taken to have entered its status when first seen.
    if (figures.lastChange == 0) figures.lastChange = now;
    counts.seen = true;
    figures.host = record.Host;
    figures.description = record.Description;
    figures.status = record.Status;
    figures.qualityFlags = record.QualityFlags;
    figures.recordReplies = record.ReceivedCount;
    figures.minMilliseconds = record.MinResponse;
    figures.avgMilliseconds = record.AvgResponse;
    figures.maxMilliseconds = record.MaxResponse;
    snapshot.hosts.push_back(figures);
  }
  ForgetHostsNotSeen();
  return snapshot;
}

void MetricsCollector::ForgetHostsNotSeen() {
  std::erase_if(counts_, [](const auto& entry) { return !entry.second.seen; });
  for (auto& entry : counts_) entry.second.seen = false;
}

}  // namespace kelvoran
