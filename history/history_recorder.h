#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "history/history_link.h"
#include "history/history_store.h"
#include "history/history_types.h"

namespace kelvoran {

struct HistoryOptions {
  using Duration = std::chrono::milliseconds;
  static constexpr HistoryTime kDay = 24 * 60 * 60 * 1000;
  // The longest each kind is kept; the disk budget may keep results and
  // summaries for less.
  HistoryTime keepSamples = 30 * kDay;
  HistoryTime keepChanges = 730 * kDay;
  HistoryTime keepFiveMinuteSummaries = 90 * kDay;
  HistoryTime keepHourlySummaries = 730 * kDay;
  // How often the retention pass runs, and the rows it drops at a time.
  Duration passEvery = std::chrono::hours(1);
  int chunkRows = 2000;
  DiskBudget budget;
  // How often the file's size is looked at, and the free pages handed back
  // to the file system at a time.
  Duration spaceCheckEvery = std::chrono::seconds(10);
  int pagesGivenBackAtOnce = 2048;
  // While the file cannot be written: how often writing is tried again, and
  // how many results wait for it at most (the oldest go first).
  Duration retryEvery = std::chrono::seconds(5);
  std::size_t maxWaitingResults = 200'000;
  // Likewise for the alert log's lines; the queue's own calls always stay.
  std::size_t maxWaitingAlertLines = 100'000;
  // An older file's summaries are built this many results at a time, and
  // how far that has come is told at most this often.
  int upgradeChunkRows = 20'000;
  Duration upgradeProgressEvery = std::chrono::seconds(1);
  // The calendar clock, for the retention cutoffs.
  std::function<HistoryTime()> now = SystemHistoryTime;

  static HistoryTime SystemHistoryTime();
};

// Records into a HistoryStore on a writer thread of its own. The tick only
// appends to an in-memory batch and hands it over at its end, under a lock
// held for a swap; the writer commits whatever has come in one transaction,
// so at most one per tick, and runs the retention pass in small chunks
// between commits.
//
// It is also the alert journal: the dispatcher's calls are kept in memory
// under the same short lock and committed with the next batch; reads of the
// alert queue and log go through the writer like every other read.
class HistoryRecorder final : public HistoryLink, public AlertJournal {
 public:
  enum class State { Opening, Recording, Paused, Off };

  explicit HistoryRecorder(std::string path, HistoryOptions options = {});
  // Writes what is waiting, if it can, and closes the file.
  ~HistoryRecorder() override;

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override;
  void HostRenamed(const std::string& from, const std::string& to) override;
  void HostForgotten(const std::string& host) override;
  void QualityChanged(const HostRecord& host, const QualityEdge& edge) override;
  void RouteRecorded(const RouteTrace& trace) override;
  std::optional<std::string> TakeNotice() override;
  HistoryQueries Queries() override;
  AlertJournal* Alerts() override { return this; }
  void SetDiskBudget(std::int64_t bytes) override;
  // Under the lock the tick's hand-over takes anyway; not counting those
  // being written at the moment.
  std::size_t WaitingResults() const override;

  void Queued(std::uint64_t id, const std::string& channel, const AlertEvent& alert) override;
  void Attempted(const AlertLogEntry& entry) override;
  void Finished(std::uint64_t id) override;
  std::vector<WaitingAlert> Unfinished() override;

  State CurrentState() const;
  // Waits until everything handed over so far is written (true), or a write
  // has failed since the call, or there is no file to write to (false).
  bool Flush();
  // Runs `query` on the writer's connection and waits for it: the file is
  // this process's alone, so reads go through the writer. False when it ran
  // out of memory: writing then pauses for a while, with a notice.
  bool Read(const std::function<void(HistoryStore&)>& query);

 private:
  void Run();
  // Writer thread. A damaged file is moved aside and a new one opened, with
  // the notice saying so.
  int OpenOrStartAfresh(std::string& notice);
  int OpenStore();
  int StartAfresh(std::string& notice);
  void WriteWaiting(std::unique_lock<std::mutex>& lock);
  // Between commits, one small step of upkeep: a chunk of the retention
  // pass, a look at the file's size, or free pages handed back.
  bool UpkeepDue() const;
  void RunUpkeepStep();
  void RunRetentionChunk();
  void RunUpgradeChunk(std::unique_lock<std::mutex>& lock);
  // With the lock held.
  void TellUpgradeProgress(double done);
  void CheckSpace();
  void GiveSpaceBackChunk();
  void TellOverBudget(const DiskBudget& budget);
  RetentionCutoffs PassCutoffs() const;
  DiskBudget Budget() const { return {budgetBytes_.load(std::memory_order_relaxed)}; }
  // With the lock held.
  void Failed(int code);
  std::string ReasonToStop(int code) const;
  void SetState(State state, std::string notice = {});
  void DropOldestWaiting();
  void KeepAlertCall(AlertJournalCall call);
  bool NothingWaits() const { return waiting_.empty() && alertCalls_.empty(); }
  void RunRead(std::unique_lock<std::mutex>& lock);
  void PauseForMemory();
  std::chrono::steady_clock::time_point NextDeadline() const;

  const std::string path_;
  const HistoryOptions options_;
  // The tick's batch: user-interface thread only.
  HistoryBatch current_;
  std::atomic<bool> discarding_ = false;
  std::atomic<std::int64_t> budgetBytes_;
  std::atomic<bool> budgetChanged_ = false;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable settled_;
  std::deque<HistoryBatch> waiting_;
  std::size_t waitingResults_ = 0;
  std::deque<AlertJournalCall> alertCalls_;
  bool writing_ = false;
  unsigned failedWrites_ = 0;
  // The read waiting for the writer, and whether it went through.
  struct PendingRead {
    const std::function<void(HistoryStore&)>& query;
    bool done = true;
  };
  PendingRead* read_ = nullptr;
  bool stopping_ = false;
  State state_ = State::Opening;
  std::deque<std::string> notices_;

  // Writer thread only.
  HistoryStore store_;
  using Clock = std::chrono::steady_clock;
  Clock::time_point retryAt_{};
  Clock::time_point nextPass_{};
  bool passRunning_ = false;
  RetentionCutoffs passCutoffs_;
  // Raised while the rows outgrow the budget; never lowered while running.
  RetentionCutoffs budgetCutoffs_;
  Clock::time_point nextSpaceCheck_{};
  bool givingSpaceBack_ = false;
  // Whether the user was told that the budget cannot hold what must be kept.
  bool toldOverBudget_ = false;
  // After a failure to give space back (a full disk), when to try again.
  Clock::time_point givingBackRetryAt_{};
  // The file opened last has summaries still to build; kept while it is
  // closed for a failure, so that building them is tried again.
  bool upgrading_ = false;
  int toldPercent_ = -1;
  Clock::time_point nextProgressNotice_{};

  std::thread writer_;
};

}  // namespace kelvoran
