#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/calendar_time.h"

namespace kelvoran {

// Upper bounds of the round-trip histogram's buckets, in seconds: from a
// link on the same switch to the longest time-out worth waiting for.
inline constexpr std::array<double, 12> kRoundTripBuckets = {
    0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5, 5.0};

// Why a probe got no reply, as a small fixed set: every result code falls
// into one of these, so the label's values never grow with the codes.
enum class FailureKind : std::size_t { TimedOut, Unreachable, Other };
inline constexpr std::size_t kFailureKinds = 3;
FailureKind FailureKindOf(std::int32_t resultCode);

// One host's figures at one moment: copied on the monitor's thread, read on
// the server's. Counters run from the start of serving (or the host's
// addition to the list); the round-trip extremes are those of the host's
// record, and so restart with a reset.
struct HostFigures {
  std::string host;
  std::string description;
  std::int32_t status = 0;
  // The quality alerts raised now (HostRecord::QualityFlags).
  std::uint8_t qualityFlags = 0;
  // The last change of status; the host's first sight when it has not changed.
  CalendarTime lastChange = 0;
  std::uint64_t sent = 0;
  std::uint64_t replies = 0;
  std::array<std::uint64_t, kFailureKinds> failures{};
  // Answers per bucket, not cumulated; answers above the last bound are
  // replies minus the buckets' sum.
  std::array<std::uint64_t, kRoundTripBuckets.size()> roundTrips{};
  std::uint64_t roundTripMillisecondsTotal = 0;
  // From the record; meaningless unless recordReplies != 0.
  std::uint64_t recordReplies = 0;
  std::uint32_t minMilliseconds = 0;
  std::uint32_t avgMilliseconds = 0;
  std::uint32_t maxMilliseconds = 0;
};

// Alert deliveries through one channel since the program started: each
// attempt counts once, so an alert tried three times before it went through
// counts two failures and one sent.
struct ChannelFigures {
  std::string channel;
  std::uint64_t sent = 0;
  std::uint64_t failed = 0;
  bool operator==(const ChannelFigures&) const = default;
};

// The monitor's own health. Nothing is known (and nothing served) where the
// program that runs the endpoint does not say.
struct ProgramFigures {
  // How much later than due the last tick began.
  std::optional<double> tickLagSeconds;
  // Results handed to the history's writer and not yet written.
  std::optional<std::uint64_t> historyQueue;
  // Every channel defined, and any other that was attempted.
  std::vector<ChannelFigures> channels;
};

struct MetricsSnapshot {
  std::vector<HostFigures> hosts;
  std::int32_t probesInFlight = 0;
  ProgramFigures program;
};

}  // namespace kelvoran
