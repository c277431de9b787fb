#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "alert/alert_journal.h"
#include "history/disk_budget.h"
#include "history/history_types.h"
#include "history/sqlite_handle.h"

namespace kelvoran {

// The history of one host list in one SQLite file: every probe result and
// every change of status, keyed by the host's settings section (the name as
// the settings file compares it). One connection, used by one thread.
//
// The file is taken for this process alone (SQLite's exclusive locking
// mode): the lock is the operating system's on the open file, so it goes with
// the process however that ends, and a second running copy of the program
// finds the file busy instead of writing into it. WAL journal, synchronous
// NORMAL: a commit survives the process being killed, and only a power cut can
// take back the last few.
class HistoryStore {
 public:
  // What became of an attempt to open, or of a failed write. ForeignLink: the
  // file is another user's symbolic link in a shared folder.
  enum class Fault { None, Locked, Damaged, Unwritable, ForeignLink };
  static Fault FaultOf(int sqliteCode);

  HistoryStore();
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Opens the file, creating it and its tables when missing; SQLITE_OK or
  // why not (the store is then closed).
  int Open(const std::string& path);
  bool IsOpen() const { return db_ != nullptr; }
  void Close();

  // Writes the batches and the alert journal's calls in order in one
  // transaction; SQLITE_OK, or the error after which nothing of them was
  // written.
  int Write(const std::vector<HistoryBatch>& batches,
            const std::vector<AlertJournalCall>& alerts = {});

  // A file of an older schema opens with its summaries still to be built
  // (all of them, or their times in each status): from its oldest results up
  // to those it held when it was opened, host by host, a chunk at a time,
  // each in a transaction of its own, so that recording goes on meanwhile.
  // How far it has come is kept in the file: a restart goes on from there.
  bool UpgradePending() const { return !upgrade_.empty(); }
  // Builds the summaries of about `rows` results of the older file; `done`
  // says how much of the upgrade is done then (0 to 1).
  int UpgradeChunk(int rows, double& done);

  // Drops at most `limit` rows older than their cutoff, in a transaction of
  // their own. A pass is many such chunks: `more` says whether it goes on.
  int DropExpired(const RetentionCutoffs& cutoffs, int limit, bool& more);

  // The file's pages in use and free, and its journal.
  SpaceUse Space();
  // The oldest result and summaries of any host.
  OldestRows Oldest();
  // Hands up to `pages` free pages back to the file system. A file written
  // before this was possible is first rebuilt whole (VACUUM), which needs free
  // disk as large as its rows; a failure leaves it as it was.
  int GiveSpaceBack(int pages);
  // How large the journal may stay between checkpoints.
  int LimitJournal(std::int64_t bytes);
  // Copies the journal into the file and empties it: a journal that grew past
  // its limit (a large delete, space handed back) otherwise keeps its size
  // until the next write.
  int EmptyJournal();

  // The host's results from `from` up to but not including `to`, oldest
  // first. SQLITE_OK or the error.
  int ForEachSample(const std::string& host, HistoryTime from, HistoryTime to,
                    const std::function<void(const HistorySample&)>& visit);
  // The host's summaries over `span` (HistorySummary::kFiveMinutes or kHour)
  // that start from `from` up to but not including `to`, oldest first.
  std::vector<HistorySummary> Summaries(const std::string& host, HistoryTime span, HistoryTime from,
                                        HistoryTime to);
  // The changes from `from` up to but not including `to`, newest first; of one
  // host when `host` is given.
  std::vector<HistoryChange> Changes(HistoryTime from, HistoryTime to,
                                     const std::string* host = nullptr, std::int64_t limit = -1);
  // The changes of quality alerts (QualityFlags before and after) in the
  // same way, all of them.
  std::vector<HistoryChange> QualityChanges(HistoryTime from, HistoryTime to,
                                            const std::string* host = nullptr);
  // How many changes Changes would find, counted along an index only.
  std::int64_t ChangeCount(HistoryTime from, HistoryTime to, const std::string* host);
  // The names of the hosts with changes from `from` up to but not including
  // `to`, in name order.
  std::vector<std::string> ChangedHosts(HistoryTime from, HistoryTime to);

  // The paths recorded from `from` up to but not including `to`, newest
  // first; of one host, of one reason, at most `limit` when given.
  std::vector<RouteTrace> Routes(HistoryTime from, HistoryTime to, const std::string* host,
                                 std::optional<RouteReason> reason = std::nullopt,
                                 std::int64_t limit = -1);

  // The alerts left waiting, oldest first.
  std::vector<WaitingAlert> WaitingAlerts();
  // The alert attempts from `from` up to but not including `to`, newest
  // first; of one host, and of one of its outages, when given.
  std::vector<AlertLogEntry> AlertLog(HistoryTime from, HistoryTime to,
                                      const AlertLogFilter& filter);

 private:
  struct Statements;
  // Changes or QualityChanges: `select` names the columns, the table as c.
  std::vector<HistoryChange> ChangesIn(const char* select, HistoryTime from, HistoryTime to,
                                       const std::string* host, std::int64_t limit);
  // The summaries a write adds to, by host, span and start, added up in
  // memory first so that a tick costs one upsert per host and span.
  using PendingSummaries =
      std::map<std::tuple<std::int64_t, HistoryTime, HistoryTime>, HistorySummary>;
  // The results of a host the upgrade has yet to count (from `doneBefore` up
  // to `upTo`): their probes too, or only their time in each status.
  struct UpgradeRange {
    HistoryTime doneBefore = 0;
    HistoryTime upTo = 0;
    bool counts = false;
  };
  // The newest result of a host, as recording knows it.
  struct Latest {
    HistoryTime time = 0;
    std::int32_t status = 0;
  };
  int CreateTables(bool newFile);
  int Upgrade();
  int StartUpgrade(std::int64_t version);
  int LoadUpgrade();
  int EndUpgradeOf(std::int64_t host, bool build);
  int UpgradeProgress(double& done);
  bool UpgradeOwns(std::int64_t host, HistoryTime time, bool counts) const;
  int BuildSummaries(std::int64_t host, HistoryTime from, HistoryTime& to, bool counts,
                     std::int64_t rows, std::span<const HistoryTime> spans);
  std::optional<Latest> Newest(std::int64_t host);
  int MergeSummaries(std::int64_t fromId, std::int64_t toId);
  int WriteSummaries(PendingSummaries& pending);
  int WriteAlert(const AlertJournalCall& call);
  int WriteBatch(const HistoryBatch& batch, PendingSummaries& pending);
  int Rename(const std::string& from, const std::string& to);
  int Forget(const std::string& name);
  // The host's id, added to the hosts table when new.
  int HostId(const std::string& name, std::int64_t& id);
  std::int64_t FindHost(const std::string& key);
  int InsertSample(std::int64_t host, const HistorySample& sample, PendingSummaries& pending);
  int DropExpiredOfHost(const RetentionCutoffs& cutoffs, int limit, bool& more);
  int DropHostIfEmpty(std::int64_t host);

  std::int64_t Pragma(const char* name);

  std::string path_;
  sqlite::Connection db_;
  std::unique_ptr<Statements> statements_;
  // Section key -> id, and the time of each host's last result: both only
  // true of what has been committed, so they are emptied when a write fails.
  std::unordered_map<std::string, std::int64_t> hostIds_;
  std::unordered_map<std::int64_t, Latest> lastTimes_;
  // The hosts whose summaries the upgrade has still to build, by id: as
  // committed, so reloaded from the file when a write fails.
  std::map<std::int64_t, UpgradeRange> upgrade_;
  // The retention pass goes host by host; the id it has reached.
  std::int64_t retentionHost_ = 0;
};

}  // namespace kelvoran
