#include "history/history_recorder.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;

// How often the writer looks for batches handed over.
constexpr auto kLookEvery = std::chrono::milliseconds(250);

constexpr std::string_view kBuildingSummaries = "Building history summaries: ";

std::string FileName(const std::string& path) { return fs::path(path).filename().string(); }

// The first of NAME.damaged, NAME.damaged-2, ... that is free, with its
// journal.
fs::path AsideName(const std::string& path) {
  for (int n = 1;; ++n) {
    // Appended, not "-" + std::to_string(n): GCC 12's optimiser takes that
    // concatenation for an overlapping copy and warns.
    std::string name = path + ".damaged";
    if (n > 1) name.append("-").append(std::to_string(n));
    const fs::path aside = name;
    std::error_code error;
    if (!fs::exists(aside, error) && !fs::exists(aside.string() + "-wal", error)) return aside;
  }
}

// Moves the damaged file and its journal aside: the journal belongs to the old
// file, and SQLite would replay it into the new one. Empty on failure.
std::string MoveAside(const std::string& path) {
  const fs::path aside = AsideName(path);
  std::error_code error;
  fs::rename(path, aside, error);
  if (error) return {};
  if (fs::exists(path + "-wal", error)) fs::rename(path + "-wal", aside.string() + "-wal", error);
  fs::remove(path + "-shm", error);
  return aside.filename().string();
}

}  // namespace

HistoryTime HistoryOptions::SystemHistoryTime() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string HistoryPathBeside(const std::string& settingsPath) {
  return fs::path(settingsPath).replace_extension(".HISTORY").string();
}

std::unique_ptr<HistoryLink> OpenHistory(const std::string& settingsPath) {
  return std::make_unique<HistoryRecorder>(HistoryPathBeside(settingsPath));
}

HistoryRecorder::HistoryRecorder(std::string path, HistoryOptions options)
    : path_(std::move(path)),
      options_(std::move(options)),
      budgetBytes_(options_.budget.bytes),
      writer_([this] { Run(); }) {}

std::size_t HistoryRecorder::WaitingResults() const {
  const std::lock_guard lock(mutex_);
  return waitingResults_;
}

void HistoryRecorder::SetDiskBudget(std::int64_t bytes) {
  budgetBytes_.store(bytes, std::memory_order_relaxed);
  budgetChanged_.store(true);
}

HistoryRecorder::~HistoryRecorder() {
  TickEnded();
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  writer_.join();
}

void HistoryRecorder::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                    std::int32_t statusBefore) {
  if (discarding_.load(std::memory_order_relaxed)) return;
  const HistoryTime time = result.StartTime * 1000;
  const bool success = result.ResultCode == ResultSuccess;
  current_.results.push_back(
      {host.Host, {time, result.ResultCode, success ? result.RoundTripTime : 0, host.Status}});
  // Not the row's text: a popup's delivery may have overwritten its code. An
  // outage held behind a down host is kept as such.
  if (host.Status != statusBefore)
    current_.changes.push_back({time, host.Host, statusBefore, host.Status,
                                host.UnreachableBehind.empty()
                                    ? ResultText(result.ResultCode, result.ResultValue)
                                    : UnreachableText(host.UnreachableBehind)});
}

// The writer is not woken: it looks for batches a few times a second. A
// wake-up is a system call, and on a busy machine the woken writer may take
// the tick's processor for its whole commit.
void HistoryRecorder::TickEnded() {
  if (current_.empty()) return;
  HistoryBatch batch = std::exchange(current_, {});
  current_.results.reserve(batch.results.size());
  if (discarding_.load(std::memory_order_relaxed)) return;
  const std::lock_guard lock(mutex_);
  waitingResults_ += batch.results.size();
  waiting_.push_back(std::move(batch));
  DropOldestWaiting();
}

void HistoryRecorder::QualityChanged(const HostRecord& host, const QualityEdge& edge) {
  if (discarding_.load(std::memory_order_relaxed)) return;
  const auto before = static_cast<std::int32_t>(host.QualityFlags ^ QualityFlag(edge.rule));
  current_.qualityChanges.push_back(
      {edge.at * 1000, host.Host, before, host.QualityFlags, QualityEdgeText(edge)});
}

void HistoryRecorder::RouteRecorded(const RouteTrace& trace) {
  if (discarding_.load(std::memory_order_relaxed)) return;
  current_.routes.push_back(trace);
}

void HistoryRecorder::HostRenamed(const std::string& from, const std::string& to) {
  // The results so far belong to the old name, the ones after to the new.
  TickEnded();
  current_.rename = HistoryBatch::Rename{from, to};
  TickEnded();
}

void HistoryRecorder::HostForgotten(const std::string& host) {
  // The results so far go with the history; any after it start a new one.
  TickEnded();
  current_.forget = host;
  TickEnded();
}

std::optional<std::string> HistoryRecorder::TakeNotice() {
  const std::lock_guard lock(mutex_);
  if (notices_.empty()) return std::nullopt;
  std::string notice = std::move(notices_.front());
  notices_.pop_front();
  return notice;
}

HistoryRecorder::State HistoryRecorder::CurrentState() const {
  const std::lock_guard lock(mutex_);
  return state_;
}

bool HistoryRecorder::Flush() {
  TickEnded();
  wake_.notify_all();
  std::unique_lock lock(mutex_);
  const unsigned failed = failedWrites_;
  const auto written = [this] { return NothingWaits() && !writing_ && state_ != State::Opening; };
  settled_.wait(lock, [&] { return failedWrites_ != failed || state_ == State::Off || written(); });
  return failedWrites_ == failed && state_ == State::Recording && written();
}

HistoryQueries HistoryRecorder::Queries() {
  const auto samples = [this](const std::string& host, HistoryTime from,
                              HistoryTime to) -> HistoryAnswer<HistorySample> {
    std::vector<HistorySample> found;
    const bool read = Read([&](HistoryStore& store) {
      const auto keep = [&](const HistorySample& sample) { found.push_back(sample); };
      if (store.IsOpen() && store.ForEachSample(host, from, to, keep) == SQLITE_NOMEM)
        throw std::bad_alloc();
    });
    if (!read) return std::nullopt;
    return found;
  };
  const auto newestChanges = [this](HistoryTime from, HistoryTime to, const std::string* host,
                                    std::int64_t limit) -> HistoryAnswer<HistoryChange> {
    std::vector<HistoryChange> found;
    if (!Read([&](HistoryStore& store) {
          if (store.IsOpen()) found = store.Changes(from, to, host, limit);
        }))
      return std::nullopt;
    return found;
  };
  const auto changes = [newestChanges](HistoryTime from, HistoryTime to, const std::string* host) {
    return newestChanges(from, to, host, -1);
  };
  const auto changeCount = [this](HistoryTime from, HistoryTime to,
                                  const std::string* host) -> std::optional<std::int64_t> {
    std::int64_t count = 0;
    if (!Read([&](HistoryStore& store) { count = store.ChangeCount(from, to, host); }))
      return std::nullopt;
    return count;
  };
  const auto qualityChanges = [this](HistoryTime from, HistoryTime to,
                                     const std::string* host) -> HistoryAnswer<HistoryChange> {
    std::vector<HistoryChange> found;
    if (!Read([&](HistoryStore& store) {
          if (store.IsOpen()) found = store.QualityChanges(from, to, host);
        }))
      return std::nullopt;
    return found;
  };
  const auto changedHosts = [this](HistoryTime from, HistoryTime to) -> HistoryAnswer<std::string> {
    std::vector<std::string> found;
    if (!Read([&](HistoryStore& store) { found = store.ChangedHosts(from, to); }))
      return std::nullopt;
    return found;
  };
  const auto alertLog = [this](HistoryTime from, HistoryTime to,
                               const AlertLogFilter& filter) -> HistoryAnswer<AlertLogEntry> {
    std::vector<AlertLogEntry> found;
    if (!Read([&](HistoryStore& store) { found = store.AlertLog(from, to, filter); }))
      return std::nullopt;
    return found;
  };
  const auto summaries = [this](const std::string& host, HistoryTime span, HistoryTime from,
                                HistoryTime to) -> HistoryAnswer<HistorySummary> {
    std::vector<HistorySummary> found;
    if (!Read([&](HistoryStore& store) { found = store.Summaries(host, span, from, to); }))
      return std::nullopt;
    return found;
  };
  const auto routes = [this](HistoryTime from, HistoryTime to, const std::string* host,
                             std::optional<RouteReason> reason,
                             std::int64_t limit) -> HistoryAnswer<RouteTrace> {
    std::vector<RouteTrace> found;
    if (!Read([&](HistoryStore& store) { found = store.Routes(from, to, host, reason, limit); }))
      return std::nullopt;
    return found;
  };
  const auto routesIn = [routes](HistoryTime from, HistoryTime to, const std::string* host) {
    return routes(from, to, host, std::nullopt, -1);
  };
  const auto latestRoute = [routes](const std::string& host, RouteReason reason,
                                    HistoryTime before) {
    return routes(INT64_MIN, before, &host, reason, 1);
  };
  return {samples,     changes,      options_.now,   summaries, alertLog,   newestChanges,
          changeCount, changedHosts, qualityChanges, routesIn,  latestRoute};
}

void HistoryRecorder::Queued(std::uint64_t id, const std::string& channel,
                             const AlertEvent& alert) {
  KeepAlertCall(WaitingAlert{id, channel, alert});
}

void HistoryRecorder::Attempted(const AlertLogEntry& entry) { KeepAlertCall(entry); }

void HistoryRecorder::Finished(std::uint64_t id) { KeepAlertCall(AlertFinished{id}); }

// Another copy holds the file: the queue is then kept in the dispatcher's
// memory only, as in a program without history.
void HistoryRecorder::KeepAlertCall(AlertJournalCall call) {
  if (discarding_.load(std::memory_order_relaxed)) return;
  const std::lock_guard lock(mutex_);
  alertCalls_.push_back(std::move(call));
  if (alertCalls_.size() <= options_.maxWaitingAlertLines) return;
  // The oldest log line goes; what waits in the queue is kept.
  const auto line = std::find_if(alertCalls_.begin(), alertCalls_.end(), [](const auto& c) {
    return std::holds_alternative<AlertLogEntry>(c);
  });
  if (line != alertCalls_.end()) alertCalls_.erase(line);
}

// On the writer's thread, so no commit comes between the file's answer and
// the calls still waiting for one, which are applied to it.
std::vector<WaitingAlert> HistoryRecorder::Unfinished() {
  std::vector<WaitingAlert> found;
  Read([&](HistoryStore& store) {
    found = store.WaitingAlerts();
    const std::lock_guard lock(mutex_);
    for (const AlertJournalCall& call : alertCalls_) {
      if (const auto* queued = std::get_if<WaitingAlert>(&call)) found.push_back(*queued);
      if (const auto* finished = std::get_if<AlertFinished>(&call))
        std::erase_if(found, [&](const WaitingAlert& w) { return w.id == finished->id; });
    }
  });
  return found;
}

bool HistoryRecorder::Read(const std::function<void(HistoryStore&)>& query) {
  PendingRead read{query};
  std::unique_lock lock(mutex_);
  settled_.wait(lock, [this] { return read_ == nullptr; });
  read_ = &read;
  wake_.notify_all();
  settled_.wait(lock, [&] { return read_ != &read; });
  return read.done;
}

// Oldest first: what waits longest for a file that cannot be written is worth
// least. A rename stays, or later results would land under the old name, and
// so does a forgotten host, or its history would come back; the batches
// emptied go, so the tick's hand-over stays short however long the
// pause.
void HistoryRecorder::DropOldestWaiting() {
  for (auto batch = waiting_.begin();
       waitingResults_ > options_.maxWaitingResults && batch != waiting_.end();) {
    waitingResults_ -= batch->results.size();
    batch->results.clear();
    batch->changes.clear();
    batch = batch->rename || batch->forget ? std::next(batch) : waiting_.erase(batch);
  }
}

void HistoryRecorder::SetState(State state, std::string notice) {
  state_ = state;
  if (!notice.empty()) notices_.push_back(std::move(notice));
}

void HistoryRecorder::Run() {
  std::string notice;
  const int opened = OpenOrStartAfresh(notice);
  std::unique_lock lock(mutex_);
  if (!notice.empty()) notices_.push_back(std::move(notice));
  if (opened == SQLITE_OK)
    SetState(State::Recording);
  else
    Failed(opened);
  nextPass_ = Clock::now();
  while (true) {
    if (read_) {
      RunRead(lock);
      continue;
    }
    const bool retryDue = Clock::now() >= retryAt_;
    const bool mayWrite = state_ == State::Recording || retryDue || stopping_;
    if (state_ != State::Off && !NothingWaits() && mayWrite) {
      WriteWaiting(lock);
      if (stopping_ && state_ != State::Recording) break;  // one last try only
      // Flush waits for this, and upkeep may keep the writer busy a while.
      settled_.notify_all();
      continue;
    }
    if (stopping_) break;
    if (state_ == State::Recording && UpkeepDue()) {
      lock.unlock();
      RunUpkeepStep();
      lock.lock();
      continue;
    }
    // Between commits as well, and tried again as writes are after a failure.
    if (upgrading_ && (state_ == State::Recording || (state_ == State::Paused && retryDue))) {
      RunUpgradeChunk(lock);
      continue;
    }
    settled_.notify_all();
    wake_.wait_until(lock, NextDeadline(), [this] {
      return stopping_ || read_ || (state_ == State::Recording && !NothingWaits());
    });
  }
  settled_.notify_all();
}

// A month of results may not fit in memory: the read fails, and as the
// memory it took is given back when it unwinds, the writer goes on.
void HistoryRecorder::RunRead(std::unique_lock<std::mutex>& lock) {
  bool done = true;
  lock.unlock();
  try {
    read_->query(store_);
  } catch (const std::bad_alloc&) {
    done = false;
  }
  lock.lock();
  read_->done = done;
  read_ = nullptr;
  if (!done) PauseForMemory();
  settled_.notify_all();
}

// With so little memory, a commit would likely fail as well: what comes in
// waits, as for a file that cannot be written, and is tried again later.
void HistoryRecorder::PauseForMemory() {
  retryAt_ = Clock::now() + options_.retryEvery;
  if (state_ != State::Recording) return;
  state_ = State::Paused;
  try {
    notices_.push_back("History recording paused: not enough memory to read the history.");
  } catch (const std::bad_alloc&) {
    // Still short of memory: the pause goes untold rather than ending the writer.
  }
}

// The moment the writer has something to do by itself: the next retention
// pass, or the next try at writing what waits.
HistoryRecorder::Clock::time_point HistoryRecorder::NextDeadline() const {
  if (state_ == State::Recording)
    return std::min({nextPass_, nextSpaceCheck_, Clock::now() + kLookEvery});
  if (state_ == State::Paused) return NothingWaits() ? Clock::now() + kLookEvery : retryAt_;
  return Clock::now() + std::chrono::hours(1);
}

int HistoryRecorder::OpenOrStartAfresh(std::string& notice) {
  const int code = OpenStore();
  return HistoryStore::FaultOf(code) == HistoryStore::Fault::Damaged ? StartAfresh(notice) : code;
}

int HistoryRecorder::OpenStore() {
  const int code = store_.Open(path_);
  if (code == SQLITE_OK) store_.LimitJournal(Budget().JournalAllowance());
  if (code == SQLITE_OK) upgrading_ = store_.UpgradePending();
  return code;
}

int HistoryRecorder::StartAfresh(std::string& notice) {
  store_.Close();
  const std::string aside = MoveAside(path_);
  if (aside.empty()) return SQLITE_CANTOPEN;
  notice =
      FileName(path_) + " was damaged and is kept as " + aside + "; a new history was started.";
  return OpenStore();
}

void HistoryRecorder::WriteWaiting(std::unique_lock<std::mutex>& lock) {
  std::vector<HistoryBatch> batches(std::make_move_iterator(waiting_.begin()),
                                    std::make_move_iterator(waiting_.end()));
  waiting_.clear();
  const std::size_t results = std::exchange(waitingResults_, 0);
  std::vector<AlertJournalCall> alerts(std::make_move_iterator(alertCalls_.begin()),
                                       std::make_move_iterator(alertCalls_.end()));
  alertCalls_.clear();
  writing_ = true;
  lock.unlock();
  std::string notice;
  int code = store_.IsOpen() ? SQLITE_OK : OpenOrStartAfresh(notice);
  if (code == SQLITE_OK) code = store_.Write(batches, alerts);
  if (HistoryStore::FaultOf(code) == HistoryStore::Fault::Damaged &&
      (code = StartAfresh(notice)) == SQLITE_OK)
    code = store_.Write(batches, alerts);
  lock.lock();
  writing_ = false;
  if (!notice.empty()) notices_.push_back(std::move(notice));
  if (code == SQLITE_OK) {
    if (state_ == State::Paused) SetState(State::Recording, "History recording resumed.");
    return;
  }
  waiting_.insert(waiting_.begin(), std::make_move_iterator(batches.begin()),
                  std::make_move_iterator(batches.end()));
  waitingResults_ += results;
  alertCalls_.insert(alertCalls_.begin(), std::make_move_iterator(alerts.begin()),
                     std::make_move_iterator(alerts.end()));
  DropOldestWaiting();
  Failed(code);
}

// Why the file is left alone for good, or empty when trying again may help.
std::string HistoryRecorder::ReasonToStop(int code) const {
  switch (HistoryStore::FaultOf(code)) {
    case HistoryStore::Fault::Locked:
      return std::string("another copy of Kelvoran is using ").append(FileName(path_));
    case HistoryStore::Fault::ForeignLink:
      return FileName(path_).append(
          " or its journal is another user's symbolic link in a shared folder");
    default:
      return {};
  }
}

void HistoryRecorder::Failed(int code) {
  ++failedWrites_;
  if (const std::string reason = ReasonToStop(code); !reason.empty()) {
    discarding_ = true;
    waiting_.clear();
    waitingResults_ = 0;
    alertCalls_.clear();
    store_.Close();
    SetState(State::Off, std::string("History is not recorded: ").append(reason).append("."));
    return;
  }
  // Closed, so that the next try opens the file afresh: a folder made
  // writable again may have lost the journal.
  store_.Close();
  retryAt_ = Clock::now() + options_.retryEvery;
  if (state_ != State::Paused)
    SetState(State::Paused, std::string("History recording paused: ")
                                .append(FileName(path_))
                                .append(" cannot be written."));
}

// A failure pauses recording as a failed write does; a damaged file is moved
// aside, and the new one has nothing to build.
void HistoryRecorder::RunUpgradeChunk(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  std::string notice;
  int code = store_.IsOpen() ? SQLITE_OK : OpenOrStartAfresh(notice);
  double done = 1;
  if (code == SQLITE_OK) code = store_.UpgradeChunk(options_.upgradeChunkRows, done);
  if (HistoryStore::FaultOf(code) == HistoryStore::Fault::Damaged) code = StartAfresh(notice);
  lock.lock();
  if (!notice.empty()) notices_.push_back(std::move(notice));
  if (code != SQLITE_OK) return Failed(code);
  if (state_ == State::Paused) SetState(State::Recording, "History recording resumed.");
  upgrading_ = store_.UpgradePending();
  TellUpgradeProgress(done);
}

// A progress notice the status bar has not taken yet is replaced, not
// queued behind.
void HistoryRecorder::TellUpgradeProgress(double done) {
  const auto percent = static_cast<int>(done * 100);
  const auto now = Clock::now();
  if (upgrading_ && (percent == toldPercent_ || now < nextProgressNotice_)) return;
  if (!notices_.empty() && notices_.back().starts_with(kBuildingSummaries)) notices_.pop_back();
  if (!upgrading_) {
    notices_.push_back("History summaries built.");
    toldPercent_ = -1;
    return;
  }
  notices_.push_back(std::string(kBuildingSummaries).append(std::to_string(percent)).append(" %"));
  toldPercent_ = percent;
  nextProgressNotice_ = now + options_.upgradeProgressEvery;
}

// With the hand-over lock held: nothing here touches the file.
bool HistoryRecorder::UpkeepDue() const {
  const auto now = Clock::now();
  return passRunning_ || givingSpaceBack_ || now >= nextPass_ || now >= nextSpaceCheck_ ||
         budgetChanged_.load();
}

void HistoryRecorder::RunUpkeepStep() {
  if (passRunning_ || Clock::now() >= nextPass_) return RunRetentionChunk();
  if (givingSpaceBack_) return GiveSpaceBackChunk();
  CheckSpace();
}

void HistoryRecorder::RunRetentionChunk() {
  if (!passRunning_) passCutoffs_ = PassCutoffs();
  bool more = false;
  // A failure ends this pass; a file that cannot be written shows at the
  // next commit.
  if (store_.DropExpired(passCutoffs_, options_.chunkRows, more) != SQLITE_OK) more = false;
  passRunning_ = more;
  if (more) return;
  nextPass_ = Clock::now() + options_.passEvery;
  // What the pass freed decides whether another is needed at once.
  nextSpaceCheck_ = Clock::now();
}

RetentionCutoffs HistoryRecorder::PassCutoffs() const {
  const HistoryTime now = options_.now();
  return {std::max(now - options_.keepSamples, budgetCutoffs_.samples), now - options_.keepChanges,
          std::max(now - options_.keepFiveMinuteSummaries, budgetCutoffs_.fiveMinuteSummaries),
          std::max(now - options_.keepHourlySummaries, budgetCutoffs_.hourlySummaries)};
}

// Over the budget, the cutoffs are raised and a pass started at once; when
// nothing more may go, or the rows fit, free pages are handed back until the
// file itself fits.
void HistoryRecorder::CheckSpace() {
  nextSpaceCheck_ = Clock::now() + options_.spaceCheckEvery;
  const DiskBudget budget = Budget();
  if (budgetChanged_.exchange(false)) store_.LimitJournal(budget.JournalAllowance());
  const SpaceUse space = store_.Space();
  if (space.journalBytes > budget.JournalAllowance()) store_.EmptyJournal();
  if (OverBudget(space, budget)) {
    const RetentionCutoffs raised =
        BudgetCutoffs(budgetCutoffs_, store_.Oldest(), space, budget, options_.now());
    if (raised != budgetCutoffs_) {
      budgetCutoffs_ = raised;
      nextPass_ = Clock::now();
      return;
    }
    TellOverBudget(budget);
  } else {
    toldOverBudget_ = false;
  }
  givingSpaceBack_ = ShouldGiveSpaceBack(space, budget) && Clock::now() >= givingBackRetryAt_;
}

// Nothing more may go, and the rows still outgrow the budget: what is kept
// whatever the size needs more room than the user gave. Said once, until the
// file fits again.
void HistoryRecorder::TellOverBudget(const DiskBudget& budget) {
  if (std::exchange(toldOverBudget_, true)) return;
  const std::int64_t megabytes = (budget.bytes + DiskBudget::kMegabyte - 1) / DiskBudget::kMegabyte;
  const std::lock_guard lock(mutex_);
  notices_.push_back("History needs more than the " + std::to_string(megabytes) +
                     " MB it may use: the last day of results, a week of 5-minute summaries "
                     "and three months of hourly ones are kept whatever the size. Give it more "
                     "room in View > Options...");
}

void HistoryRecorder::GiveSpaceBackChunk() {
  if (store_.GiveSpaceBack(options_.pagesGivenBackAtOnce) != SQLITE_OK) {
    // No room for the journal of the move: the file keeps its size a while.
    givingBackRetryAt_ = Clock::now() + std::chrono::hours(1);
    givingSpaceBack_ = false;
    return;
  }
  givingSpaceBack_ = ShouldGiveSpaceBack(store_.Space(), Budget());
}

}  // namespace kelvoran
