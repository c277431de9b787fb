#include "engine/accounting.h"

#include <optional>
#include <utility>

#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/probe_job.h"

namespace kelvoran {
namespace {

// A run has lasted its period once its start plus the period is reached. Done
// in 64 bits: periods from a hand-edited file may be near the 32-bit limits.
bool HasLasted(CalendarTime runStart, std::int32_t period, CalendarTime now) {
  return now >= runStart + period;
}

void StartRun(HostRecord& host, std::int32_t status, std::int32_t trend, CalendarTime at) {
  host.Status = status;
  host.Trend = trend;
  host.TrendStart = at;
}

// The outage, if there was one, ends here; a return to OK from a WARNING
// that never reached ERROR was no outage and tells nobody.
void EnterOk(HostRecord& host, CalendarTime at, const PopupSenders& senders) {
  const std::int32_t before = host.Status;
  StartRun(host, StatusOk, TrendNone, 0);
  host.PopupSent = false;
  const std::optional<CalendarTime> outageStart = std::exchange(host.OutageStart, std::nullopt);
  if (!outageStart) return;
  if (senders.edges) senders.edges(host, {StatusEdge::Kind::OkAgain, before, at, *outageStart});
  if (host.PopupWhenOk && senders.okAgain) senders.okAgain(host, at - *outageStart);
}

void EnterError(HostRecord& host, CalendarTime at, const PopupSenders& senders) {
  const std::int32_t before = host.Status;
  host.Status = StatusError;
  // ERROR, WARNING and ERROR again is one outage, measured from its start.
  if (!host.OutageStart) {
    host.OutageStart = at;
    if (senders.edges) senders.edges(host, {StatusEdge::Kind::Down, before, at, at});
  }
  // The delivery runs after the probe's code was stored, so its outcome
  // replaces the probe's when it writes one.
  if (senders.down) senders.down(host);
  host.Trend = TrendNone;
  host.TrendStart = 0;
}

void CountResult(HostRecord& host, const ProbeResult& result) {
  host.Busy = false;
  ++host.SentCount;
  host.ResultCode = result.ResultCode;
  host.ResultValue = result.ResultValue;
  if (result.ResultCode != 0) {
    ++host.FailedCount;
    host.LastDelay = -1;
    return;
  }
  const std::uint32_t rtt = result.RoundTripTime;
  ++host.ReceivedCount;
  // The row shows LastDelay as a signed number; a reply cannot take 2^31 ms
  // within a time-out of at most a few hours, so the cast keeps the value.
  host.LastDelay = static_cast<std::int32_t>(rtt);
  host.ResponseTotal += rtt;
  if (rtt < host.MinResponse) host.MinResponse = rtt;
  if (rtt > host.MaxResponse) host.MaxResponse = rtt;
  host.AvgResponse = static_cast<std::uint32_t>(host.ResponseTotal / host.ReceivedCount);
}

// One result in WARNING: a like result continues the run, an unlike one starts
// a new run from its own start time; the run ends once it has lasted its
// period, never with the result that started it.
void MoveInWarning(HostRecord& host, bool success, CalendarTime at, const PopupSenders& senders) {
  const std::int32_t trend = success ? TrendSuccesses : TrendFailures;
  if (host.Trend != trend) {
    StartRun(host, StatusWarning, trend, at);
    return;
  }
  const std::int32_t period = success ? host.SuccessPeriod : host.FailPeriod;
  if (!HasLasted(host.TrendStart, period, at)) return;
  if (success)
    EnterOk(host, at, senders);
  else
    EnterError(host, at, senders);
}

// Leaving OK on a failure or ERROR on a success starts a run with that very
// result and tests its period at once: only a period of 0 or less passes.
void LeaveSteadyState(HostRecord& host, bool success, CalendarTime at,
                      const PopupSenders& senders) {
  const std::int32_t period = success ? host.SuccessPeriod : host.FailPeriod;
  if (!HasLasted(at, period, at)) {
    StartRun(host, StatusWarning, success ? TrendSuccesses : TrendFailures, at);
  } else if (success) {
    EnterOk(host, at, senders);
  } else {
    EnterError(host, at, senders);
  }
}

void MoveStatus(HostRecord& host, bool success, CalendarTime at, const PopupSenders& senders) {
  switch (host.Status) {
    case StatusOk:
      if (success)
        StartRun(host, StatusOk, TrendNone, 0);
      else
        LeaveSteadyState(host, success, at, senders);
      break;
    case StatusError:
      if (success)
        LeaveSteadyState(host, success, at, senders);
      else
        StartRun(host, StatusError, TrendNone, 0);
      break;
    default:
      // WARNING, and any other value a stray write could leave behind.
      MoveInWarning(host, success, at, senders);
      break;
  }
}

}  // namespace

void ApplyResult(HostRows& rows, int row, const ProbeJob& job, const PopupSenders& senders) {
  HostRecord& host = rows.RecordAt(row);
  CountResult(host, job.Result);
  host.LastProbeTime = job.Result.StartTime;
  MoveStatus(host, job.Result.ResultCode == 0, job.Result.StartTime, senders);
  rows.FormatRow(row);
  const HostRecord* shown = rows.DialogRecord();
  if (shown && shown->HostId == host.HostId) rows.RefreshDialogResults(host);
}

void ResetAllResults(HostRows& rows) {
  for (int row = 0; row < rows.RowCount(); ++row) {
    rows.RecordAt(row).ResetResults();
    rows.FormatRow(row);
  }
}

}  // namespace kelvoran
