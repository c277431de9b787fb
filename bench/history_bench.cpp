// The history's costs: what recording adds to the tick, and what a result
// takes on disk.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "fake_host_rows.h"
#include "history/history_recorder.h"
#include "history/range_summary.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

constexpr CalendarTime kNow = 1'800'000'000;

class NoRefreshRows : public testing::FakeHostRows {
 public:
  void FormatRow(int) override {}
};

// A tick of 1,000 hosts that applies `results` results, without history
// (third argument 0), recording them (1), or with the history paused because
// its folder does not exist (2): the batch is still made and handed over, but
// no writer works beside the tick, so this is the tick's own share alone. The
// added cost is the difference to the first.
void BM_TickRecordingHistory(benchmark::State& state) {
  NoRefreshRows rows;
  for (int i = 0; i < state.range(0); ++i) {
    HostRecord& host = rows.Add();
    host.Host = "host" + std::to_string(i) + ".example";
    host.Delay = 10;
    host.LastProbeTime = kNow;
  }
  ResultMailbox mailbox;
  ProbeScheduler scheduler(mailbox, ProbeFunction{}, PopupSender{},
                           {[] { return kNow; }, [](std::function<void()>) { return false; }});
  testing::TempDir dir;
  std::unique_ptr<HistoryRecorder> recorder;
  if (state.range(2)) {
    const std::string file =
        state.range(2) == 1 ? dir.File("KELVORAN.HISTORY") : dir.File("missing/KELVORAN.HISTORY");
    recorder = std::make_unique<HistoryRecorder>(file);
    scheduler.SetResultSink(recorder.get());
  }
  CalendarTime start = kNow;
  std::size_t next = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++start;
    for (int i = 0; i < state.range(1); ++i) {
      HostRecord& host =
          rows.RecordAt(static_cast<int>(next++ % static_cast<std::size_t>(rows.RowCount())));
      ProbeJobPtr job(new ProbeJob);
      host.MakeProbeJob(*job);
      job->Result.StartTime = start;
      job->Result.RoundTripTime = static_cast<std::uint32_t>(next % 40);
      job->Result.ResultCode = next % 50 == 0 ? 11010 : 0;
      mailbox.Put(std::move(job));
      ++scheduler.OutstandingProbes;
    }
    state.ResumeTiming();
    scheduler.ProcessTick(rows);
  }
  if (state.range(2) == 1) recorder->Flush();
}
BENCHMARK(BM_TickRecordingHistory)
    ->ArgsProduct({{1'000}, {10, 1'000}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

std::int64_t Pragma(const std::string& file, const char* pragma) {
  sqlite3* db = nullptr;
  sqlite3_stmt* query = nullptr;
  std::int64_t value = -1;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, pragma, -1, &query, nullptr) == SQLITE_OK &&
      sqlite3_step(query) == SQLITE_ROW)
    value = sqlite3_column_int64(query, 0);
  sqlite3_finalize(query);
  sqlite3_close(db);
  return value;
}

// 1,000 hosts, 1,200 ticks of one result each, spread over 36 days; the
// retention pass then drops what is older than 30 days, leaving about a
// million. Counted: the file's bytes per result kept, and the bytes of the
// pages in use per result (freed pages are used again by later results).
void BM_StoreSizePerResult(benchmark::State& state) {
  constexpr int kHosts = 1'000, kTicks = 1'200;
  constexpr HistoryTime kStep = 2'595'000;  // 36 days / 1,200 ticks
  const HistoryTime now = kNow * 1000LL + (kTicks - 1) * kStep;
  for (auto _ : state) {
    testing::TempDir dir;
    const std::string file = dir.File("KELVORAN.HISTORY");
    HistoryStore store;
    if (store.Open(file) != SQLITE_OK) return state.SkipWithError("cannot open");
    std::uint32_t n = 0;
    for (int tick = 0; tick < kTicks; ++tick) {
      HistoryBatch batch;
      for (int host = 0; host < kHosts; ++host, ++n)
        batch.results.push_back({"host" + std::to_string(host) + ".example",
                                 {kNow * 1000LL + tick * kStep, n % 50 == 0 ? 11010 : 0,
                                  n % 50 == 0 ? 0 : 1 + n % 40, StatusOk}});
      store.Write({batch});
    }
    for (bool more = true; more;)
      store.DropExpired({now - HistoryOptions().keepSamples, 0, 0, 0}, 2000, more);
    std::size_t kept = 0;
    for (int host = 0; host < kHosts; ++host)
      store.ForEachSample("host" + std::to_string(host) + ".example", 0, now + 1,
                          [&](const HistorySample&) { ++kept; });
    store.Close();
    const auto pageSize = Pragma(file, "PRAGMA page_size");
    const auto used = Pragma(file, "PRAGMA page_count") - Pragma(file, "PRAGMA freelist_count");
    state.counters["results_kept"] = static_cast<double>(kept);
    state.counters["file_bytes_per_result"] =
        static_cast<double>(std::filesystem::file_size(file)) / static_cast<double>(kept);
    state.counters["used_bytes_per_result"] =
        static_cast<double>(used * pageSize) / static_cast<double>(kept);
  }
}
BENCHMARK(BM_StoreSizePerResult)->Iterations(1)->Unit(benchmark::kSecond);

// The writer's own cost per result: ticks of 500 results of 5,000 hosts at a
// 10 s repeat (a tick a second, so 500 results a second), each tick one
// transaction as the recorder commits it. Round trips spread over 1-200 ms,
// one result in 50 failed. Counted as well: the bytes of the pages in use
// per result.
void BM_WriterTicksOfFiveHundred(benchmark::State& state) {
  constexpr int kHosts = 5'000, kPerTick = 500;
  testing::TempDir dir;
  HistoryStore store;
  if (store.Open(dir.File("KELVORAN.HISTORY")) != SQLITE_OK)
    return state.SkipWithError("cannot open");
  std::vector<std::string> names;
  for (int host = 0; host < kHosts; ++host) names.push_back("host" + std::to_string(host));
  std::uint32_t n = 0;
  HistoryTime second = 0;
  for (auto _ : state) {
    state.PauseTiming();
    HistoryBatch batch;
    for (int i = 0; i < kPerTick; ++i, ++n) {
      const bool failed = n % 50 == 0;
      batch.results.push_back({names[n % kHosts],
                               {kNow * 1000LL + second * 1000, failed ? 11010 : 0,
                                failed ? 0 : 1 + (n * 7919) % 200, StatusOk}});
    }
    ++second;
    state.ResumeTiming();
    if (store.Write({batch}) != SQLITE_OK) return state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kPerTick);
  store.Close();
  const std::string file = dir.File("KELVORAN.HISTORY");
  const auto used = Pragma(file, "PRAGMA page_count") - Pragma(file, "PRAGMA freelist_count");
  state.counters["used_bytes_per_result"] =
      static_cast<double>(used * Pragma(file, "PRAGMA page_size")) /
      static_cast<double>(state.iterations() * kPerTick);
}
BENCHMARK(BM_WriterTicksOfFiveHundred)->MinTime(5)->Unit(benchmark::kMillisecond);

// Runs an upgrade as the writer does, chunk after chunk; false if one fails.
bool FinishUpgrade(HistoryStore& store, std::chrono::steady_clock::duration& longestChunk) {
  for (double done = 0; store.UpgradePending();) {
    const auto chunkBegan = std::chrono::steady_clock::now();
    if (store.UpgradeChunk(HistoryOptions().upgradeChunkRows, done) != SQLITE_OK) return false;
    longestChunk = std::max(longestChunk, std::chrono::steady_clock::now() - chunkBegan);
  }
  return true;
}

// Makes the version-2 file of BM_UpgradeBuildsSummaries into one of version
// 3: summaries built, but without the times in each status.
bool MakeVersionThree(const std::string& file) {
  HistoryStore store;
  std::chrono::steady_clock::duration unused{};
  if (store.Open(file) != SQLITE_OK || !FinishUpgrade(store, unused)) return false;
  store.Close();
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  const int made = sqlite3_exec(db,
                                "BEGIN; ALTER TABLE summaries DROP COLUMN ok_ms;"
                                " ALTER TABLE summaries DROP COLUMN warning_ms;"
                                " ALTER TABLE summaries DROP COLUMN error_ms;"
                                " DELETE FROM summary_upgrade; PRAGMA user_version = 3; COMMIT;",
                                nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return made == SQLITE_OK;
}

// The upgrade of a file of the version before summaries (second argument 2),
// or of the one whose summaries lack the times in each status (3): results
// of 1,000 hosts at a 10 s repeat (2,000,000: 5.8 hours; 50,000,000, about
// 1 GB: 5.8 days), made by SQL for speed, and the time the opening and the
// chunks that build their summaries take, as the writer runs them. Counted:
// the file's megabytes per second of upgrade, and the longest chunk, which
// is the longest a tick's results wait for the writer meanwhile.
void BM_UpgradeBuildsSummaries(benchmark::State& state) {
  const std::string results = std::to_string(state.range(0) - 1);
  for (auto _ : state) {
    state.PauseTiming();
    testing::TempDir dir;
    const std::string file = dir.File("KELVORAN.HISTORY");
    HistoryStore store;
    if (store.Open(file) != SQLITE_OK) return state.SkipWithError("cannot open");
    store.Close();
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    const std::string make =
        "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)"
        " INSERT INTO hosts(id, key, name) SELECT i, 'host' || i, 'host' || i FROM n;"
        " WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        results +
        ") INSERT INTO samples SELECT i % 1000 + 1, 1800000000000 + i / 1000 * 10000,"
        " CASE WHEN i % 50 = 0 THEN 11010 ELSE 0 END, CASE WHEN i % 50 = 0 THEN 0 ELSE"
        " 1 + i % 200 END, i % 50 = 0 FROM n; DROP TABLE summaries; DROP TABLE summary_upgrade;"
        " PRAGMA user_version = 2; COMMIT;";
    const int made = sqlite3_exec(db, make.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (made != SQLITE_OK) return state.SkipWithError("cannot make the old file");
    if (state.range(1) == 3 && !MakeVersionThree(file))
      return state.SkipWithError("cannot make the version-3 file");
    const auto bytes = static_cast<double>(std::filesystem::file_size(file));
    state.ResumeTiming();
    using Clock = std::chrono::steady_clock;
    const auto began = Clock::now();
    if (store.Open(file) != SQLITE_OK) return state.SkipWithError("cannot open the old file");
    Clock::duration longest{};
    if (!FinishUpgrade(store, longest)) return state.SkipWithError("upgrade failed");
    const std::chrono::duration<double> took = Clock::now() - began;
    state.counters["file_mb"] = bytes / 1e6;
    state.counters["mb_per_s"] = bytes / 1e6 / took.count();
    state.counters["seconds"] = took.count();
    state.counters["longest_chunk_ms"] = std::chrono::duration<double, std::milli>(longest).count();
  }
}
BENCHMARK(BM_UpgradeBuildsSummaries)
    ->Args({2'000'000, 2})
    ->Args({50'000'000, 2})
    ->Args({2'000'000, 3})
    ->Args({50'000'000, 3})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// What the history window reads when it opens or its range changes: one
// host's results of the last day (its first range) or of 30 days, at one a
// second, out of a store holding those 30 days (2,592,000 results).
void BM_ReadOneHostsResults(benchmark::State& state) {
  constexpr HistoryTime kDays = 30, kPerDay = 86'400;
  static testing::TempDir dir;
  static HistoryStore store;
  const HistoryTime end = kNow * 1000LL + kDays * kPerDay * 1000;
  if (!store.IsOpen()) {
    if (store.Open(dir.File("KELVORAN.HISTORY")) != SQLITE_OK)
      return state.SkipWithError("cannot open");
    for (HistoryTime second = 0; second < kDays * kPerDay;) {
      HistoryBatch batch;
      for (int i = 0; i < 10'000 && second < kDays * kPerDay; ++i, ++second)
        batch.results.push_back({"gateway",
                                 {kNow * 1000LL + second * 1000, 0,
                                  static_cast<std::uint32_t>(1 + second % 40), StatusOk}});
      store.Write({batch});
    }
  }
  const HistoryTime from = end - state.range(0) * kPerDay * 1000;
  for (auto _ : state) {
    std::vector<HistorySample> samples;
    store.ForEachSample("gateway", from, end,
                        [&](const HistorySample& sample) { samples.push_back(sample); });
    state.counters["results"] = static_cast<double>(samples.size());
  }
}
BENCHMARK(BM_ReadOneHostsResults)->Arg(1)->Arg(30)->Unit(benchmark::kMillisecond);

// What the history window reads and draws for a range drawn from summaries:
// one host's 5-minute summaries of 30 days, or its hourly ones of a year, out
// of a store holding a year of its results at one a minute, reduced to a
// graph 700 pixels wide with the range's figures.
void BM_GraphFromSummaries(benchmark::State& state) {
  constexpr HistoryTime kDay = 86'400'000, kMinute = 60'000;
  static testing::TempDir dir;
  static HistoryStore store;
  const HistoryTime begin = kNow * 1000LL, end = begin + 365 * kDay;
  if (!store.IsOpen()) {
    if (store.Open(dir.File("KELVORAN.HISTORY")) != SQLITE_OK)
      return state.SkipWithError("cannot open");
    for (HistoryTime time = begin; time < end;) {
      HistoryBatch batch;
      for (int i = 0; i < 10'000 && time < end; ++i, time += kMinute)
        batch.results.push_back(
            {"gateway", {time, 0, static_cast<std::uint32_t>(1 + time / kMinute % 40), StatusOk}});
      store.Write({batch});
    }
  }
  const HistoryTime span =
      state.range(0) == 30 ? HistorySummary::kFiveMinutes : HistorySummary::kHour;
  const HistoryTime from = end - state.range(0) * kDay;
  for (auto _ : state) {
    const std::vector<HistorySummary> summaries = store.Summaries("gateway", span, from, end);
    const std::vector<PlotColumn> columns = PlotSummaryColumns(summaries, {}, from, end, 700);
    benchmark::DoNotOptimize(SummariseSummaries(summaries));
    state.counters["summaries"] = static_cast<double>(summaries.size());
  }
}
BENCHMARK(BM_GraphFromSummaries)->Arg(30)->Arg(365)->Unit(benchmark::kMillisecond);

// What the outage log does as it opens on 100,000 changes of 500 hosts: read
// them newest first and work out how long each state lasted.
void BM_OutageLogOfHundredThousandChanges(benchmark::State& state) {
  static testing::TempDir dir;
  static HistoryStore store;
  constexpr int kChanges = 100'000;
  if (!store.IsOpen()) {
    if (store.Open(dir.File("KELVORAN.HISTORY")) != SQLITE_OK)
      return state.SkipWithError("cannot open");
    HistoryBatch batch;
    for (int i = 0; i < kChanges; ++i)
      batch.changes.push_back({kNow * 1000LL + i * 60'000LL, "host" + std::to_string(i % 500),
                               i % 2 ? StatusError : StatusOk, i % 2 ? StatusOk : StatusError,
                               "Request timed out."});
    store.Write({batch});
  }
  for (auto _ : state) {
    const auto log = ChangeLog(store.Changes(0, INT64_MAX));
    state.counters["changes"] = static_cast<double>(log.size());
  }
}
BENCHMARK(BM_OutageLogOfHundredThousandChanges)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelvoran
