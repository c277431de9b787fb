#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "engine/calendar_time.h"
#include "engine/result_sink.h"

namespace kelvoran {

// The last results of each host, for the list's optional columns: the loss
// over the last 100 results, the time of the last change of status, and the
// round trips of the last 60. Kept only while one of those columns is shown,
// so the list costs no more than before until the user asks.
class RecentResults final : public ResultSink {
 public:
  static constexpr std::size_t kKept = 100;
  struct Host {
    std::array<std::uint32_t, kKept> roundTrips{};  // oldest overwritten first
    std::bitset<kKept> failed;
    std::size_t count = 0, next = 0;
    std::optional<CalendarTime> lastChange;
  };

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override {}

  void SetKeeping(bool keeping);
  const Host* Of(std::int32_t hostId) const;
  void Forget(std::int32_t hostId) { hosts_.erase(hostId); }
  // The last change known from before the host's results were kept.
  void SeedLastChange(std::int32_t hostId, CalendarTime at);

 private:
  bool keeping_ = false;
  std::unordered_map<std::int32_t, Host> hosts_;
};

// The share of the host's last (up to 100) results that failed; nothing
// before its first result.
std::optional<double> RecentLossPercent(const RecentResults::Host& host);
// The mean absolute difference of consecutive replies' round trips among the
// host's last (up to 100) results, failures skipped; none for fewer than two
// replies.
std::optional<double> RecentJitterMs(const RecentResults::Host& host);
// The last `count` results, oldest first, drawn as bars of eight heights
// scaled to the largest round trip among them; a failure is "×".
std::u32string Sparkline(const RecentResults::Host& host, std::size_t count);

}  // namespace kelvoran
