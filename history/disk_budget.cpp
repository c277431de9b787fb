#include "history/disk_budget.h"

#include <algorithm>

namespace kelvoran {
namespace {

constexpr HistoryTime kHour = 60 * 60 * 1000;

std::int64_t Percent(std::int64_t value, std::int64_t percent) { return value * percent / 100; }

// Raises one cutoff: past the oldest row by the excess's share of the rows'
// age, but never into the floor. False when nothing of this kind may go.
// Rows that passed the floor less than an hour ago count as none: while
// results keep coming, some always have, and cutting them as they pass
// started a pass over every host at each look at the space, and never let
// the next kind be cut.
bool Raise(HistoryTime& cutoff, std::optional<HistoryTime> oldest, HistoryTime floor,
           double excessShare, HistoryTime now) {
  if (!oldest || *oldest > floor - kHour || cutoff >= floor) return false;
  const auto age = static_cast<double>(now - *oldest);
  const HistoryTime step = std::max(kHour, static_cast<HistoryTime>(age * excessShare));
  cutoff = std::min(floor, std::max(cutoff, *oldest + step));
  return true;
}

}  // namespace

std::int64_t DiskBudget::JournalAllowance() const {
  return std::clamp<std::int64_t>(bytes / 16, 256 * 1024, 8 * kMegabyte);
}

bool OverBudget(const SpaceUse& space, const DiskBudget& budget) {
  return space.usedBytes > Percent(budget.RowLimit(), 95);
}

bool ShouldGiveSpaceBack(const SpaceUse& space, const DiskBudget& budget) {
  return space.freeBytes > 0 && space.usedBytes + space.freeBytes > Percent(budget.RowLimit(), 95);
}

RetentionCutoffs BudgetCutoffs(RetentionCutoffs current, const OldestRows& oldest,
                               const SpaceUse& space, const DiskBudget& budget, HistoryTime now,
                               const BudgetFloors& floors) {
  if (!OverBudget(space, budget) || space.usedBytes <= 0) return current;
  const std::int64_t excess = space.usedBytes - Percent(budget.RowLimit(), 90);
  const double share = static_cast<double>(excess) / static_cast<double>(space.usedBytes);
  if (Raise(current.samples, oldest.samples, now - floors.samples, share, now)) return current;
  if (Raise(current.fiveMinuteSummaries, oldest.fiveMinuteSummaries,
            now - floors.fiveMinuteSummaries, share, now))
    return current;
  Raise(current.hourlySummaries, oldest.hourlySummaries, now - floors.hourlySummaries, share, now);
  return current;
}

}  // namespace kelvoran
