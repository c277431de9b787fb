#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/calendar_time.h"
#include "engine/sparse_text.h"

namespace kelvoran {

struct ProbeJob;

enum HostStatus : std::int32_t { StatusOk = 0, StatusWarning = 1, StatusError = 2 };
enum HostTrend : std::int32_t { TrendNone = 0, TrendSuccesses = 1, TrendFailures = 2 };

inline constexpr std::uint32_t NoMinResponse = 0xFFFFFFFFu;

// A host's quality alerts (engine/quality_watch.h): each threshold is off
// while 0; all are judged over the last `window` probes.
struct QualityRules {
  std::uint32_t window = 20;
  std::uint32_t slowMs = 0;
  std::uint32_t lossPercent = 0;
  std::uint32_t jitterMs = 0;
  bool Any() const { return slowMs != 0 || lossPercent != 0 || jitterMs != 0; }
  bool operator==(const QualityRules&) const = default;
};

// One monitored host: its ten settings and what the monitor has learned about
// it since it was created or last reset. Owned by its list row and touched on
// the user-interface thread only; probes refer to it by HostId.
// Final and without virtual members: there is one per host, and a vtable
// pointer in each would cost 8 bytes for nothing.
class HostRecord final {
 public:
  // Takes the next id from the process-wide counter.
  HostRecord();
  // Full copy, HostId and Busy included: the settings dialog edits such a copy
  // and still recognises results that belong to its host.
  HostRecord(const HostRecord&) = default;
  HostRecord& operator=(const HostRecord&) = default;

  // Assigns the ten settings and nothing else.
  void CopySettings(const HostRecord& source);
  // Back to the starting state of the results; settings, HostId and Busy stay.
  void ResetResults();
  // Fills a job's request part from this host and zeroes its result part.
  void MakeProbeJob(ProbeJob& job) const;
  // The operator's text for ResultCode / ResultValue.
  std::string ResultText() const;

  // Settings (stored in the host settings file).
  std::string Host;
  std::int32_t LastDelay = 0;
  std::int32_t Delay = 0;
  std::int32_t FailPeriod = 0;
  std::int32_t SuccessPeriod = 0;
  std::uint32_t PacketSize = 0;
  std::int32_t Timeout = 0;
  SparseText PopupDestination;
  SparseText PopupMessage;
  std::string Description;
  // Whether the popup destinations also hear when the host is OK again after
  // an outage.
  bool PopupWhenOk = false;
  // The alert channels that hear about this host, by name, separated by
  // commas; empty for none.
  SparseText AlertChannels;
  // The Host of the host this one is reached through (the router in front of
  // it), by the settings file's name rule; empty for none. While that host,
  // or any it depends on in turn, is in ERROR, this host's outage is held
  // back (engine/host_dependencies.h).
  SparseText DependsOn;
  // While the user muted this host: when the mute ends, kMutedUntilUnmuted
  // for none; 0 when not muted (engine/host_mute.h). A time passed is no mute.
  CalendarTime MutedUntil = 0;
  // Off by default, and then not written to the settings file.
  QualityRules Quality;
  // The settings file's section the host was read from or last saved under:
  // its Host, unless a hand-edited file gave it a name longer than Host
  // holds. Empty until the host is saved.
  std::string Section;

  // Results.
  std::int32_t Status = StatusWarning;
  std::uint32_t MinResponse = NoMinResponse;
  std::uint32_t AvgResponse = 0;
  std::uint32_t MaxResponse = 0;
  std::uint32_t SentCount = 0;
  std::uint32_t ReceivedCount = 0;
  std::uint32_t FailedCount = 0;
  std::int32_t Trend = TrendNone;
  // 64 bits: a 32-bit sum wraps after some weeks on a slow link and would
  // make AvgResponse plainly wrong.
  std::uint64_t ResponseTotal = 0;
  CalendarTime LastProbeTime = 0;
  CalendarTime TrendStart = 0;
  // StartTime of the result that began the current outage (the entry into
  // ERROR); empty while there is none. An outage ends on reaching OK.
  std::optional<CalendarTime> OutageStart;
  std::int32_t ResultCode = 0;
  std::int32_t ResultValue = 0;
  // While this host's outage is held back: the host in front of it that is
  // down. ResultText then says so instead of the probe's error.
  SparseText UnreachableBehind;
  // The host's or the whole list's mute as the row shows it, e.g. "muted
  // until 14:30"; empty while neither is muted.
  SparseText MuteNote;
  // The quality alerts raised now, QualityFlag bits (engine/quality_watch.h).
  std::uint8_t QualityFlags = 0;
  // Beside the other bytes: one record a host, so padding counts.
  bool PopupSent = false;

  bool Busy = false;
  std::int32_t HostId;

  // The value the next default-constructed record will take minus one: the
  // number of ids used up so far in this process.
  static std::int32_t LastHostId();

 private:
  static std::int32_t NextHostId();
};

}  // namespace kelvoran
