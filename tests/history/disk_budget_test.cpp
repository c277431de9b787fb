#include "history/disk_budget.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "history_files.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

constexpr HistoryTime kHour = 60 * 60 * 1000;
constexpr HistoryTime kDay = 24 * kHour;
constexpr std::int64_t kMegabyte = DiskBudget::kMegabyte;

}  // namespace

// In days before the test's "now", for readable failures.
void PrintTo(const RetentionCutoffs& c, std::ostream* out) {
  for (const HistoryTime cutoff : {c.samples, c.changes, c.fiveMinuteSummaries, c.hourlySummaries})
    *out << (cutoff ? static_cast<double>(1000 * kDay - cutoff) / kDay : 0.0) << " ";
}

namespace {

TEST(DiskBudget, ResultsGoFirstThenFiveMinuteThenHourlySummariesNeverPastTheirFloors) {
  const HistoryTime now = 1000 * kDay;
  const DiskBudget budget{64 * kMegabyte};  // rows may use 60 MB: over past 57 MB
  const SpaceUse over{60 * kMegabyte};      // 6 MB to go down to 90 %: a tenth
  const OldestRows all{now - 20 * kDay, now - 80 * kDay, now - 700 * kDay};
  const OldestRows resultsAtFloor{now - kDay / 2, now - 80 * kDay, now - 700 * kDay};
  struct Case {
    const char* what;
    SpaceUse space;
    OldestRows oldest;
    RetentionCutoffs expected;
  } cases[] = {
      {"within the budget", {50 * kMegabyte, 20 * kMegabyte}, all, {}},
      {"a tenth of the results' age", over, all, {now - 18 * kDay}},
      {"never into the last day", {5000 * kMegabyte}, all, {now - kDay}},
      {"results at their floor", over, resultsAtFloor, {0, 0, now - 72 * kDay}},
      {"results past it by less than an hour",
       over,
       {now - kDay - 10'000, now - 80 * kDay, now - 700 * kDay},
       {0, 0, now - 72 * kDay}},
      {"then hourly ones",
       over,
       {now - kDay / 2, now - 3 * kDay, now - 700 * kDay},
       {0, 0, 0, now - 630 * kDay}},
      {"nothing left that may go", over, {now - kDay / 2, now - 3 * kDay, now - 30 * kDay}, {}},
      {"no rows at all", over, OldestRows{}, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BudgetCutoffs({}, c.oldest, c.space, budget, now), c.expected) << c.what;
}

std::int64_t FileBytes(const std::string& path) {
  std::int64_t bytes = 0;
  std::error_code error;
  for (const char* companion : {"", "-wal"})
    if (const auto size = std::filesystem::file_size(path + companion, error); !error)
      bytes += static_cast<std::int64_t>(size);
  return bytes;
}

// A file from before free pages could be handed back: no auto-vacuum.
void CreateLegacyFile(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "CREATE TABLE hosts(id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE,"
                         " name TEXT NOT NULL)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
}

// Ten hosts, one result a minute each, through the real writer with a
// simulated clock: after every day, once the writer's upkeep has run, the
// file with its journal fits the budget.
class SimulatedDays {
 public:
  static constexpr int kHosts = 10;
  static constexpr HistoryTime kStartTime = testing::kStart * 1000LL;

  explicit SimulatedDays(const std::string& path, std::int64_t budget) : path_(path) {
    HistoryOptions options;
    options.budget.bytes = budget;
    options.spaceCheckEvery = std::chrono::milliseconds(10);
    options.now = [this] { return now_.load(); };
    recorder_ = std::make_unique<HistoryRecorder>(path, options);
  }

  HistoryRecorder& Recorder() { return *recorder_; }
  HistoryTime Now() const { return now_; }

  void RunDay() {
    HostRecord host;
    host.Status = StatusOk;
    for (int minute = 0; minute < 24 * 60; ++minute) {
      const CalendarTime start = static_cast<CalendarTime>(now_.load() / 1000);
      for (int i = 0; i < kHosts; ++i) {
        host.Host = "host" + std::to_string(i);
        // A failure every 7th minute, round trips spread over two decades.
        const bool failed = minute % 7 == 0;
        const auto roundTrip = static_cast<std::uint32_t>(1 + (minute + i) % 200);
        recorder_->ResultApplied(host,
                                 {.RoundTripTime = failed ? 0u : roundTrip,
                                  .ResultCode = failed ? 11010 : 0,
                                  .StartTime = start},
                                 StatusOk);
      }
      recorder_->TickEnded();
      now_ += 60 * 1000;
      // Commits of an hour's results, as a writer that keeps up makes them.
      if (minute % 60 == 59) {
        ASSERT_TRUE(recorder_->Flush());
      }
    }
  }

  // Waits for the upkeep to bring the file within `budget`.
  bool FitsWithin(std::int64_t budget) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (FileBytes(path_) > budget && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return FileBytes(path_) <= budget;
  }

 private:
  std::string path_;
  std::atomic<HistoryTime> now_ = kStartTime;
  std::unique_ptr<HistoryRecorder> recorder_;
};

// Whether the notice that the budget is too small came within `wait`.
bool TakeBudgetNotice(HistoryRecorder& recorder, std::chrono::seconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  do {
    while (const auto notice = recorder.TakeNotice())
      if (notice->starts_with("History needs more than the 1 MB it may use")) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

// Every 5-minute summary the results still cover whole counts exactly those
// results, and the last day's results are all there.
void ExpectSummariesAgreeAndTheLastDayKept(HistoryRecorder& recorder, HistoryTime now) {
  recorder.Read([&](HistoryStore& store) {
    for (int i = 0; i < SimulatedDays::kHosts; ++i) {
      const std::string host = "host" + std::to_string(i);
      const std::vector<HistorySample> samples = testing::SamplesOf(store, host);
      ASSERT_FALSE(samples.empty());
      EXPECT_LE(samples.front().time, now - kDay) << host;
      std::map<HistoryTime, std::int64_t> counted;
      for (const HistorySample& s : samples)
        ++counted[s.time - s.time % HistorySummary::kFiveMinutes];
      const HistoryTime covered = samples.front().time + HistorySummary::kFiveMinutes;
      for (const HistorySummary& summary :
           store.Summaries(host, HistorySummary::kFiveMinutes, covered, now))
        EXPECT_EQ(summary.probes, counted[summary.start]) << host << " " << summary.start;
    }
  });
}

// Nine days into a 4 MB budget that holds about six, then the budget cut to
// 2 MB: the file stays within it every day, shrinks when it is cut, keeps
// the newest results and summaries that agree with them. A file written
// before free pages could be handed back is rebuilt once and shrinks too.
TEST(DiskBudget, SimulatedDaysStayWithinTheBudgetAndACutShrinksTheFile) {
  for (const bool legacyFile : {false, true}) {
    SCOPED_TRACE(legacyFile ? "legacy file" : "new file");
    testing::TempDir dir;
    const std::string path = dir.File("KELVORAN.HISTORY");
    if (legacyFile) CreateLegacyFile(path);
    SimulatedDays days(path, 4 * kMegabyte);
    for (int day = 0; day < 12; ++day) {
      days.RunDay();
      ASSERT_TRUE(days.FitsWithin(4 * kMegabyte)) << "day " << day << ": " << FileBytes(path);
    }
    ExpectSummariesAgreeAndTheLastDayKept(days.Recorder(), days.Now());
    days.Recorder().SetDiskBudget(2 * kMegabyte);
    ASSERT_TRUE(days.FitsWithin(2 * kMegabyte)) << FileBytes(path);
    ExpectSummariesAgreeAndTheLastDayKept(days.Recorder(), days.Now());
    days.Recorder().Read([&](HistoryStore& store) {
      // The hourly summaries reach back to the first day.
      const auto hourly = store.Summaries("host0", HistorySummary::kHour, 0, days.Now());
      ASSERT_FALSE(hourly.empty());
      EXPECT_EQ(hourly.front().start,
                SimulatedDays::kStartTime - SimulatedDays::kStartTime % HistorySummary::kHour);
    });
    // Below what the last day and the summaries' floors need: the user is told.
    EXPECT_FALSE(TakeBudgetNotice(days.Recorder(), std::chrono::seconds(0)));
    days.Recorder().SetDiskBudget(kMegabyte / 2);
    EXPECT_TRUE(TakeBudgetNotice(days.Recorder(), std::chrono::seconds(30)));
  }
}

}  // namespace
}  // namespace kelvoran
