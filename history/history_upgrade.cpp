// The summaries an older history file lacks, built after it has opened: a
// chunk of one host's results at a time, each chunk in a transaction of its
// own that also moves the host's mark in summary_upgrade on, so that a kill
// or a full disk loses at most the chunk under way, never counts one twice.
//
// What the upgrade counts: each host's results older than its newest when the
// file was opened (up_to), from its oldest on (done_before marks how far it
// has come). Recording meanwhile counts every other result as it comes. Each
// result's share of the summaries (its probe, and the time in each status from
// its predecessor up to it) is added by whichever of the two owns it, and
// both add to the rows already there, so the order in which they come does
// not matter.
#include <string>

#include "history/history_store.h"

namespace kelvoran {
namespace {

// The hosts with results, each from its oldest up to its newest; ?1 whether
// their probes are to be counted too.
constexpr const char* kStartUpgrade =
    "INSERT OR REPLACE INTO summary_upgrade(host, first, done_before, up_to, counts)"
    " SELECT id, first, first, last + 1, ?1 FROM (SELECT id,"
    " (SELECT time FROM samples WHERE host = h.id ORDER BY time LIMIT 1) AS first,"
    " (SELECT time FROM samples WHERE host = h.id ORDER BY time DESC LIMIT 1) AS last"
    " FROM hosts h) WHERE first IS NOT NULL";

// Files of version 3 have summaries without the times in each status.
constexpr const char* kAddStatusColumns =
    "ALTER TABLE summaries ADD COLUMN ok_ms INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE summaries ADD COLUMN warning_ms INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE summaries ADD COLUMN error_ms INTEGER NOT NULL DEFAULT 0;";

constexpr std::int64_t kVersionWithSummaries = 3;

constexpr HistoryTime kSpans[] = {HistorySummary::kFiveMinutes, HistorySummary::kHour};

}  // namespace

// Within the opening transaction.
int HistoryStore::StartUpgrade(std::int64_t version) {
  sqlite::Statement hasColumns(db_.get(),
                               "SELECT count(*) FROM pragma_table_info('summaries')"
                               " WHERE name = 'ok_ms'");
  const bool hasStatusTimes = hasColumns.Step() == SQLITE_ROW && hasColumns.Integer(0) > 0;
  hasColumns.Reset();
  int code = hasStatusTimes ? SQLITE_OK : sqlite::Execute(db_.get(), kAddStatusColumns);
  sqlite::Statement start(db_.get(), kStartUpgrade);
  if (code == SQLITE_OK) code = start.Bind(1, std::int64_t{version < kVersionWithSummaries}).Run();
  return code;
}

int HistoryStore::LoadUpgrade() {
  upgrade_.clear();
  sqlite::Statement pending(db_.get(),
                            "SELECT host, done_before, up_to, counts FROM summary_upgrade"
                            " WHERE done_before < up_to");
  int code;
  while ((code = pending.Step()) == SQLITE_ROW)
    upgrade_[pending.Integer(0)] = {pending.Integer(1), pending.Integer(2),
                                    pending.Integer(3) != 0};
  return code == SQLITE_DONE ? SQLITE_OK : code;
}

bool HistoryStore::UpgradeOwns(std::int64_t host, HistoryTime time, bool counts) const {
  const auto found = upgrade_.find(host);
  if (found == upgrade_.end()) return false;
  const UpgradeRange& range = found->second;
  return time >= range.doneBefore && time < range.upTo && (range.counts || !counts);
}

// Within the caller's transaction: the rest of the host's upgrade built now
// (`build`), or left out as its results go.
int HistoryStore::EndUpgradeOf(std::int64_t host, bool build) {
  const auto found = upgrade_.find(host);
  if (found == upgrade_.end()) return SQLITE_OK;
  HistoryTime end = found->second.upTo;
  int code = build ? BuildSummaries(host, found->second.doneBefore, end, found->second.counts,
                                    INT64_MAX, kSpans)
                   : SQLITE_OK;
  sqlite::Statement done(db_.get(),
                         "UPDATE summary_upgrade SET done_before = up_to WHERE host = ?1");
  if (code == SQLITE_OK) code = done.Bind(1, host).Run();
  if (code == SQLITE_OK) upgrade_.erase(host);
  return code;
}

// The share of the older results' time span counted, over all hosts.
int HistoryStore::UpgradeProgress(double& done) {
  sqlite::Statement sums(db_.get(),
                         "SELECT total(done_before - first), total(up_to - first)"
                         " FROM summary_upgrade");
  const int code = sums.Step();
  if (code != SQLITE_ROW) return code;
  const double whole = sums.Integer(1) > 0 ? static_cast<double>(sums.Integer(1)) : 1.0;
  done = static_cast<double>(sums.Integer(0)) / whole;
  sums.Reset();
  return SQLITE_OK;
}

int HistoryStore::UpgradeChunk(int rows, double& done) {
  if (!db_) return SQLITE_MISUSE;
  done = 1;
  if (upgrade_.empty()) return SQLITE_OK;
  const auto [host, range] = *upgrade_.begin();
  int code = sqlite::Execute(db_.get(), "BEGIN IMMEDIATE");
  HistoryTime to = range.upTo;
  if (code == SQLITE_OK)
    code = BuildSummaries(host, range.doneBefore, to, range.counts, rows, kSpans);
  sqlite::Statement mark(db_.get(), "UPDATE summary_upgrade SET done_before = ?2 WHERE host = ?1");
  if (code == SQLITE_OK) code = mark.Bind(1, host).Bind(2, to).Run();
  const bool finished = to == range.upTo && upgrade_.size() == 1;
  if (code == SQLITE_OK && !finished) code = UpgradeProgress(done);
  if (code == SQLITE_OK && finished)
    code = sqlite::Execute(db_.get(), "DELETE FROM summary_upgrade");
  if (code == SQLITE_OK) code = sqlite::Execute(db_.get(), "COMMIT");
  if (code != SQLITE_OK) {
    if (!sqlite3_get_autocommit(db_.get())) sqlite::Execute(db_.get(), "ROLLBACK");
    return code;
  }
  if (to == range.upTo)
    upgrade_.erase(host);
  else
    upgrade_[host].doneBefore = to;
  return code;
}

}  // namespace kelvoran
