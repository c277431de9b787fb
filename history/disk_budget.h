#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "history/history_types.h"

namespace kelvoran {

// How much disk the history file may take, its journal included.
struct DiskBudget {
  static constexpr std::int64_t kMegabyte = 1024 * 1024;
  static constexpr std::int64_t kDefaultMegabytes = 1024;
  static constexpr std::int64_t kMinimumMegabytes = 64;
  static constexpr std::int64_t kMaximumMegabytes = 1024 * 1024;
  std::int64_t bytes = kDefaultMegabytes * kMegabyte;

  // The stored size in megabytes, held within the minimum and the maximum:
  // a hand-edited profile's absurd number gives the nearest size allowed.
  static std::int64_t ClampMegabytes(long long stored) {
    return std::clamp<long long>(stored, kMinimumMegabytes, kMaximumMegabytes);
  }

  // What the journal may keep between checkpoints: a sixteenth of the
  // budget, within 256 kB and 8 MB. The rows may use the rest.
  std::int64_t JournalAllowance() const;
  std::int64_t RowLimit() const { return bytes - JournalAllowance(); }
};

// What the file holds: pages in use, free pages inside it, and the journal.
struct SpaceUse {
  std::int64_t usedBytes = 0;
  std::int64_t freeBytes = 0;
  std::int64_t journalBytes = 0;
  std::int64_t FileBytes() const { return usedBytes + freeBytes + journalBytes; }
};

// The oldest row of each kind the budget may drop; none when there is none.
struct OldestRows {
  std::optional<HistoryTime> samples;
  std::optional<HistoryTime> fiveMinuteSummaries;
  std::optional<HistoryTime> hourlySummaries;
};

// What the budget keeps whatever it costs: a day of results, a week of
// 5-minute summaries and three months of hourly ones.
struct BudgetFloors {
  static constexpr HistoryTime kDay = 24 * 60 * 60 * 1000;
  HistoryTime samples = kDay;
  HistoryTime fiveMinuteSummaries = 7 * kDay;
  HistoryTime hourlySummaries = 90 * kDay;
};

// Whether the rows have outgrown the budget: past 95 % of what they may use
// (the journal has an allowance of its own).
bool OverBudget(const SpaceUse& space, const DiskBudget& budget);

// Free pages are given back while the file is past 95 % of the budget.
bool ShouldGiveSpaceBack(const SpaceUse& space, const DiskBudget& budget);

// The cutoffs raised so that the next retention pass brings the rows down to
// about 90 % of the budget: results go first, oldest first; only when no
// more than an hour's results older than a day are left do 5-minute
// summaries go, then hourly ones (likewise past their floors). One kind at a time, by an estimate
// in proportion to the excess (never less than an hour's rows), so that each pass is followed by a
// new look at the space it freed. The changes of status and the alert log are never dropped for
// space. The paths recorded follow the cutoffs too: a baseline goes with the results (but a
// host's newest one stays), an outage's path with the changes of status.
RetentionCutoffs BudgetCutoffs(RetentionCutoffs current, const OldestRows& oldest,
                               const SpaceUse& space, const DiskBudget& budget, HistoryTime now,
                               const BudgetFloors& floors = {});

}  // namespace kelvoran
