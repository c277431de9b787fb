#include "history/recent_results.h"

#include <algorithm>
#include <vector>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "engine/quality_watch.h"

namespace kelvoran {
namespace {

// The index of the result `back` places before the newest.
std::size_t Before(const RecentResults::Host& host, std::size_t back) {
  return (host.next + RecentResults::kKept - 1 - back) % RecentResults::kKept;
}

}  // namespace

void RecentResults::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                  std::int32_t statusBefore) {
  if (!keeping_) return;
  Host& kept = hosts_[host.HostId];
  kept.roundTrips[kept.next] = result.RoundTripTime;
  kept.failed[kept.next] = result.ResultCode != 0;
  kept.next = (kept.next + 1) % kKept;
  kept.count = std::min(kept.count + 1, kKept);
  if (host.Status != statusBefore) kept.lastChange = result.StartTime;
}

void RecentResults::SetKeeping(bool keeping) {
  keeping_ = keeping;
  if (!keeping) hosts_.clear();
}

void RecentResults::SeedLastChange(std::int32_t hostId, CalendarTime at) {
  if (!keeping_) return;
  Host& kept = hosts_[hostId];
  if (!kept.lastChange) kept.lastChange = at;
}

const RecentResults::Host* RecentResults::Of(std::int32_t hostId) const {
  const auto found = hosts_.find(hostId);
  return found == hosts_.end() ? nullptr : &found->second;
}

std::optional<double> RecentLossPercent(const RecentResults::Host& host) {
  if (host.count == 0) return std::nullopt;
  // Slots not yet written are clear, so the whole set counts only results.
  return 100.0 * static_cast<double>(host.failed.count()) / static_cast<double>(host.count);
}

std::optional<double> RecentJitterMs(const RecentResults::Host& host) {
  std::vector<std::uint32_t> replies;
  for (std::size_t back = host.count; back-- > 0;)
    if (!host.failed[Before(host, back)]) replies.push_back(host.roundTrips[Before(host, back)]);
  return MeanAbsoluteStep(replies);
}

std::u32string Sparkline(const RecentResults::Host& host, std::size_t count) {
  count = std::min(count, host.count);
  std::uint32_t highest = 0;
  for (std::size_t back = 0; back < count; ++back)
    if (!host.failed[Before(host, back)])
      highest = std::max(highest, host.roundTrips[Before(host, back)]);
  std::u32string bars;
  for (std::size_t back = count; back-- > 0;) {
    const std::size_t at = Before(host, back);
    if (host.failed[at]) {
      bars += U'\u00D7';
      continue;
    }
    const std::uint64_t level = highest == 0 ? 0 : std::uint64_t{host.roundTrips[at]} * 7 / highest;
    bars += static_cast<char32_t>(U'\u2581' + level);
  }
  return bars;
}

}  // namespace kelvoran
