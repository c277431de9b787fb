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

MetricsCollector::Counts& MetricsCollector::CountsOf(std::int32_t hostId) {
  const auto found =
      std::lower_bound(counts_.begin(), counts_.end(), hostId,
                       [](const Counts& counts, std::int32_t id) { return counts.hostId < id; });
  if (found != counts_.end() && found->hostId == hostId) return *found;
  return *counts_.insert(found, Counts{.hostId = hostId});
}

void MetricsCollector::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                     std::int32_t statusBefore) {
  Counts& counts = CountsOf(host.HostId);
  if (host.Status != statusBefore) counts.lastChange = result.StartTime;
  ++counts.sent;
  if (result.ResultCode != ResultSuccess) {
    ++counts.failures[static_cast<std::size_t>(FailureKindOf(result.ResultCode))];
    return;
  }
  ++counts.replies;
  counts.roundTripMillisecondsTotal += result.RoundTripTime;
  const double seconds = result.RoundTripTime / 1000.0;
  const auto bucket = std::lower_bound(kRoundTripBuckets.begin(), kRoundTripBuckets.end(), seconds);
  if (bucket != kRoundTripBuckets.end())
    ++counts.roundTrips[static_cast<std::size_t>(bucket - kRoundTripBuckets.begin())];
}

void MetricsCollector::CopyCounts(const Counts& counts, HostFigures& figures) {
  figures.lastChange = counts.lastChange;
  figures.sent = counts.sent;
  figures.replies = counts.replies;
  std::copy(counts.failures.begin(), counts.failures.end(), figures.failures.begin());
  std::copy(counts.roundTrips.begin(), counts.roundTrips.end(), figures.roundTrips.begin());
  figures.roundTripMillisecondsTotal = counts.roundTripMillisecondsTotal;
}

MetricsSnapshot MetricsCollector::Capture(HostRows& rows, std::int32_t probesInFlight,
                                          CalendarTime now) {
  MetricsSnapshot snapshot;
  snapshot.probesInFlight = probesInFlight;
  const int rowCount = rows.RowCount();
  snapshot.hosts.reserve(static_cast<std::size_t>(rowCount));
  // The first capture finds every host: their counts take one block of the
  // list's size, not twice that as growing by doubling would leave.
  counts_.reserve(static_cast<std::size_t>(rowCount));
  for (int row = 0; row < rowCount; ++row) {
    const HostRecord& record = rows.RecordAt(row);
    Counts& counts = CountsOf(record.HostId);
    // A host never changed is taken to have entered its status when first seen.
    if (counts.lastChange == 0) counts.lastChange = now;
    counts.seen = true;
    HostFigures& figures = snapshot.hosts.emplace_back();
    CopyCounts(counts, figures);
    figures.host = record.Host;
    figures.description = record.Description;
    figures.status = record.Status;
    figures.qualityFlags = record.QualityFlags;
    figures.recordReplies = record.ReceivedCount;
    figures.minMilliseconds = record.MinResponse;
    figures.avgMilliseconds = record.AvgResponse;
    figures.maxMilliseconds = record.MaxResponse;
  }
  ForgetHostsNotSeen();
  return snapshot;
}

void MetricsCollector::ForgetHostsNotSeen() {
  std::erase_if(counts_, [](const Counts& counts) { return !counts.seen; });
  for (Counts& counts : counts_) counts.seen = false;
}

}  // namespace kelvoran
