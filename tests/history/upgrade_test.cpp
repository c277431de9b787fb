// The summaries of an older history file, built after it opens while
// recording goes on: the time in each status, agreement with the results
// after the upgrade however it was interrupted (a full disk, a kill), and
// the progress the status bar shows.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "history/csv_export.h"
#include "history_files.h"
#include "temp_dir.h"
#include "writer_process.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;
using testing::kStart;
constexpr HistoryTime kBase = kStart * 1000LL;  // a multiple of an hour
constexpr HistoryTime kFive = HistorySummary::kFiveMinutes, kHour = HistorySummary::kHour;

int Exec(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  int code = sqlite3_open(file.c_str(), &db);
  if (code == SQLITE_OK) code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return code;
}

// The file as the version before the summaries (2) or before their times in
// each status (3) wrote it.
int MakeOlder(const std::string& file, int version) {
  const char* older = version == 2 ? "DROP TABLE summaries; PRAGMA user_version = 2;"
                                   : "ALTER TABLE summaries DROP COLUMN ok_ms;"
                                     "ALTER TABLE summaries DROP COLUMN warning_ms;"
                                     "ALTER TABLE summaries DROP COLUMN error_ms;"
                                     "PRAGMA user_version = 3;";
  return Exec(file, std::string("DROP TABLE summary_upgrade; ") + older);
}

// Summaries that no group of the results they cover gives, and groups of
// results that no summary matches: the probes, failures, round-trip sum and
// the time in each status (a result's status holds until the host's next
// result, counted in the 5 minutes or hour of each of the two).
std::int64_t Disagreements(const std::string& file) {
  return testing::QueryInteger(
      file,
      "WITH spans(span) AS (VALUES (300000), (3600000)),"
      " r AS (SELECT host, time, code, rtt, status, lag(time) OVER w AS pt,"
      "  lag(status) OVER w AS ps, lead(time) OVER w AS nt FROM samples"
      "  WINDOW w AS (PARTITION BY host ORDER BY time)),"
      " parts AS (SELECT host, span, time - time % span AS start, code, rtt, ps, status,"
      "  CASE WHEN pt < time - time % span THEN time % span ELSE 0 END AS head,"
      "  coalesce(min(nt, time - time % span + span), time) - time AS tail FROM r, spans),"
      " raw AS (SELECT host, span, start, count(*), sum(code != 0),"
      "  coalesce(sum(CASE WHEN code = 0 THEN rtt END), 0),"
      "  sum(iif(ps = 0, head, 0) + iif(status = 0, tail, 0)),"
      "  sum(iif(ps = 1, head, 0) + iif(status = 1, tail, 0)),"
      "  sum(iif(ps = 2, head, 0) + iif(status = 2, tail, 0))"
      "  FROM parts GROUP BY host, span, start),"
      " kept AS (SELECT host, span, start, probes, failures, rtt_sum, ok_ms, warning_ms, error_ms"
      "  FROM summaries)"
      " SELECT (SELECT count(*) FROM (SELECT * FROM raw EXCEPT SELECT * FROM kept))"
      " + (SELECT count(*) FROM (SELECT * FROM kept EXCEPT SELECT * FROM raw))");
}

void FinishUpgrade(HistoryStore& store, int rows) {
  for (double done = 0; store.UpgradePending();) ASSERT_EQ(store.UpgradeChunk(rows, done), 0);
}

using StatusRow = std::array<std::int64_t, 4>;  // start s; seconds in OK, WARNING, ERROR

std::vector<StatusRow> StatusRowsOf(HistoryStore& store, HistoryTime span) {
  std::vector<StatusRow> rows;
  for (const HistorySummary& s : store.Summaries("gw", span, 0, INT64_MAX))
    rows.push_back({(s.start - kBase) / 1000, s.msInStatus[0] / 1000, s.msInStatus[1] / 1000,
                    s.msInStatus[2] / 1000});
  return rows;
}

// A status holds until the next result: split at the edges of the spans,
// nothing in a span without a result (from 600 s to 900 s), the last
// result's not yet. Written in two ticks with the file reopened between, as
// recording does it; then the same file of each older version, upgraded two
// results at a time, has the same summaries.
TEST(HistoryUpgrade, TimeInEachStatusAsRecordedAndAsUpgraded) {
  const struct {
    HistoryTime second;
    std::int32_t status;
  } results[] = {{0, StatusOk},   {100, StatusError},  {250, StatusWarning},
                 {400, StatusOk}, {1000, StatusError}, {3700, StatusOk}};
  testing::TempDir dir;
  const std::string live = dir.File("LIVE.HISTORY");
  for (const auto& tick : {std::span(results).first(3), std::span(results).subspan(3)}) {
    HistoryStore store;
    ASSERT_EQ(store.Open(live), SQLITE_OK);
    HistoryBatch batch;
    for (const auto& r : tick)
      batch.results.push_back({"gw", {kBase + r.second * 1000, 0, 5, r.status}});
    ASSERT_EQ(store.Write({batch}), SQLITE_OK);
  }
  HistoryStore recorded;
  ASSERT_EQ(recorded.Open(live), SQLITE_OK);
  EXPECT_EQ(StatusRowsOf(recorded, kFive),
            (std::vector<StatusRow>{
                {0, 100, 50, 150}, {300, 200, 100, 0}, {900, 100, 0, 200}, {3600, 0, 0, 100}}));
  EXPECT_EQ(StatusRowsOf(recorded, kHour),
            (std::vector<StatusRow>{{0, 700, 150, 2750}, {3600, 0, 0, 100}}));
  EXPECT_EQ(SummariseSummaries(recorded.Summaries("gw", kHour, 0, INT64_MAX)).msInError,
            2850 * 1000);
  // A summary kept from before the times were, its results gone: the time in
  // ERROR is not known, rather than none.
  auto withoutTimes = recorded.Summaries("gw", kHour, 0, INT64_MAX);
  withoutTimes.front().msInStatus = {};
  EXPECT_EQ(SummariseSummaries(withoutTimes).msInError, std::nullopt);
  for (const int version : {2, 3}) {
    SCOPED_TRACE(version);
    const std::string old = dir.File("V" + std::to_string(version) + ".HISTORY");
    fs::copy_file(live, old);
    ASSERT_EQ(MakeOlder(old, version), SQLITE_OK);
    HistoryStore upgraded;
    ASSERT_EQ(upgraded.Open(old), SQLITE_OK);
    EXPECT_TRUE(upgraded.UpgradePending());
    FinishUpgrade(upgraded, 2);
    for (const HistoryTime span : {kFive, kHour})
      EXPECT_EQ(upgraded.Summaries("gw", span, 0, INT64_MAX),
                recorded.Summaries("gw", span, 0, INT64_MAX));
  }
}

TEST(HistoryUpgrade, CsvOfSummariesHasTheSecondsInEachStatus) {
  HistorySummary summary{kBase, kFive, 3, 1, 10, 20, 30, {}, {61'999, 0, 238'001}};
  summary.roundTrips.Add(10);
  summary.roundTrips.Add(20);
  std::ostringstream out;
  WriteSummariesCsv(out, "gw", {&summary, 1}, [](HistoryTime) { return std::string("t"); });
  const std::string csv = out.str();
  EXPECT_NE(csv.find(",OK (s),WARNING (s),ERROR (s)\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",61,0,238\r\n"), std::string::npos) << csv;
}

// A file of an older version: hosts a and b, a result every 10 s, one in 7
// failed, statuses changing every 13 results.
std::string OldFile(const testing::TempDir& dir, int version, int perHost) {
  const std::string file = dir.File("KELVORAN.HISTORY");
  HistoryStore store;
  if (store.Open(file) != SQLITE_OK) return {};
  HistoryBatch batch;
  for (int n = 0; n < perHost; ++n)
    for (const char* host : {"a", "b"}) {
      const bool failed = n % 7 == 0;
      batch.results.push_back(
          {host,
           {kBase + n * 10'000, failed ? 11010 : 0,
            failed ? 0u : static_cast<std::uint32_t>(1 + n % 90), (n / 13 + host[0]) % 3}});
    }
  if (store.Write({batch}) != SQLITE_OK) return {};
  store.Close();
  return MakeOlder(file, version) == SQLITE_OK ? file : std::string();
}

// A host renamed onto another's name part way: the merged summaries are
// built from the results of both, none counted twice.
TEST(HistoryUpgrade, RenameOntoAnotherHostPartWay) {
  testing::TempDir dir;
  const std::string file = OldFile(dir, 2, 720);
  ASSERT_FALSE(file.empty());
  {
    HistoryStore store;
    ASSERT_EQ(store.Open(file), SQLITE_OK);
    double done = 0;
    ASSERT_EQ(store.UpgradeChunk(100, done), SQLITE_OK);
    HistoryBatch rename;
    rename.rename = HistoryBatch::Rename{"b", "a"};
    ASSERT_EQ(store.Write({rename}), SQLITE_OK);
    FinishUpgrade(store, 100);
  }
  EXPECT_EQ(testing::QueryInteger(file, "SELECT count(DISTINCT host) FROM summaries"), 1);
  EXPECT_EQ(Disagreements(file), 0);
}

void Record(HistoryRecorder& recorder, const std::string& name, HistoryTime second,
            std::int32_t status) {
  HostRecord host;
  host.Host = name;
  host.Status = status;
  recorder.ResultApplied(host, {.RoundTripTime = 9, .StartTime = kStart + second}, status);
  recorder.TickEnded();
}

// The notices up to "History summaries built.", looked for every
// millisecond for at most 30 s.
std::vector<std::string> NoticesUntilBuilt(HistoryRecorder& recorder) {
  std::vector<std::string> notices;
  for (int wait = 0; wait < 30'000; ++wait) {
    while (const auto notice = recorder.TakeNotice()) notices.push_back(*notice);
    if (!notices.empty() && notices.back() == "History summaries built.") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return notices;
}

// The percentages of the progress notices; -1 for any other notice.
std::vector<int> Percentages(const std::vector<std::string>& notices) {
  std::vector<int> percents;
  for (const std::string& notice : notices) {
    int percent = -1;
    char end = 0;
    if (std::sscanf(notice.c_str(), "Building history summaries: %d %c", &percent, &end) != 2 ||
        end != '%')
      percent = -1;
    percents.push_back(percent);
  }
  return percents;
}

// Results keep coming while the summaries of 56 hours are built 20 results
// at a time: some in the hour the old ones end in, some of a new host. The status bar
// is told how far it has come, then that it is done; the summaries then
// agree with every result, old and new.
TEST(HistoryUpgrade, RecordingGoesOnWhileTheSummariesAreBuilt) {
  for (const int version : {2, 3}) {
    SCOPED_TRACE(version);
    testing::TempDir dir;
    const std::string file = OldFile(dir, version, 20'000);
    ASSERT_FALSE(file.empty());
    std::vector<std::string> notices;
    {
      HistoryOptions options;
      options.upgradeChunkRows = 20;
      options.upgradeProgressEvery = std::chrono::milliseconds(0);
      HistoryRecorder recorder(file, options);
      for (HistoryTime second = 200'000; second < 200'060; second += 10)
        for (const char* host : {"a", "c"}) Record(recorder, host, second, StatusError);
      notices = NoticesUntilBuilt(recorder);
      Record(recorder, "b", 200'100, StatusOk);
      ASSERT_TRUE(recorder.Flush());
    }
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back(), "History summaries built.");
    notices.pop_back();
    const std::vector<int> percents = Percentages(notices);
    ASSERT_GE(percents.size(), 2u) << ::testing::PrintToString(notices);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_GE(percents.front(), 0);
    EXPECT_LT(percents.back(), 100);
    EXPECT_EQ(testing::QueryInteger(file, "SELECT count(*) FROM samples"), 40'000 + 12 + 1);
    EXPECT_EQ(testing::QueryInteger(file, "SELECT count(*) FROM summary_upgrade"), 0);
    EXPECT_EQ(Disagreements(file), 0);
  }
}

#ifndef _WIN32
// A full disk (a small tmpfs of the test's own, filled up) stops the upgrade
// where it is and pauses recording, as for a failed write; the old results
// stay. Once there is room again it goes on by itself.
TEST(HistoryUpgrade, FullDiskPausesTheUpgradeUntilThereIsRoomAgain) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "no mount namespace (needs root)";
  testing::TempDir dir;
  ASSERT_EQ(mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=1m"), 0);
  {
    const std::string file = OldFile(dir, 2, 720);
    ASSERT_FALSE(file.empty());
    {
      HistoryStore opened;  // the opening's own few writes, done while there is room
      ASSERT_EQ(opened.Open(file), SQLITE_OK);
      ASSERT_TRUE(opened.UpgradePending());
    }
    {
      std::ofstream filler(dir.path() / "filler", std::ios::binary);
      const char block[512] = {};
      while (filler.write(block, sizeof block)) continue;
    }
    HistoryOptions options;
    options.upgradeChunkRows = 50;
    options.retryEvery = std::chrono::milliseconds(20);
    HistoryRecorder recorder(file, options);
    std::optional<std::string> paused;
    for (int wait = 0; wait < 1000 && !paused; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      paused = recorder.TakeNotice();
    }
    EXPECT_EQ(paused, "History recording paused: KELVORAN.HISTORY cannot be written.");
    EXPECT_EQ(recorder.CurrentState(), HistoryRecorder::State::Paused);
    // Nothing waits to be written: the upgrade alone tries again.
    ASSERT_TRUE(fs::remove(dir.path() / "filler"));
    const std::vector<std::string> notices = NoticesUntilBuilt(recorder);
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.front(), "History recording resumed.");
    EXPECT_EQ(notices.back(), "History summaries built.");
    Record(recorder, "a", 7200, StatusOk);
    ASSERT_TRUE(recorder.Flush());
  }
  const std::string file = dir.File("KELVORAN.HISTORY");
  EXPECT_EQ(testing::QueryInteger(file, "SELECT count(*) FROM samples"), 1440 + 1);
  EXPECT_EQ(Disagreements(file), 0);
  umount(dir.path().c_str());
}
#endif

// A file of half a million results of the writer's hosts h0-h9 (statuses changing
// every 7), all older than what the writer records.
std::string BigOldFile(const testing::TempDir& dir) {
  const std::string file = dir.File("KELVORAN.HISTORY");
  {
    HistoryStore store;
    if (store.Open(file) != SQLITE_OK) return {};
  }
  const int made =
      Exec(file,
           "BEGIN; WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9)"
           " INSERT INTO hosts(id, key, name) SELECT i + 1, 'h' || i, 'h' || i FROM n;"
           " WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 499999)"
           " INSERT INTO samples SELECT i % 10 + 1, (1800000000 - 200000) * 1000 + i / 10 * 1000,"
           " CASE WHEN i % 13 = 0 THEN 11010 ELSE 0 END, CASE WHEN i % 13 = 0 THEN 0 ELSE"
           " 1 + i % 300 END, i / 70 % 3 FROM n; COMMIT;");
  return made == SQLITE_OK && MakeOlder(file, 2) == SQLITE_OK ? file : std::string();
}

// Kills the recording program while it builds the summaries, again and
// again: each start goes on from where the last stopped, and once done every
// summary agrees with the results it covers, none counted twice or left out.
TEST(HistoryUpgrade, KilledWhileBuildingSummariesGoesOnWhereItStopped) {
  testing::TempDir dir;
  const std::string file = BigOldFile(dir);
  ASSERT_FALSE(file.empty());
  std::mt19937 random(20261208);
  bool killedPartWay = false;
  for (int round = 1; round <= 40; ++round) {
    if (testing::QueryInteger(file, "PRAGMA user_version") == 4 &&
        testing::QueryInteger(file, "SELECT count(*) FROM summary_upgrade") == 0)
      break;
    testing::WriterProcess writer(file, round, "history_writer");
    ASSERT_TRUE(writer.started());
    int zero = 0;
    long tick = 0;
    ASSERT_TRUE(writer.Read(zero, tick)) << "the writer did not start";
    // Shorter than the whole upgrade takes (about 0.2 s) even on a fast
    // machine, so that the kills come part way through it; what one start
    // leaves undone the next goes on with.
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 40));
    ASSERT_TRUE(writer.Kill());
    while (writer.Read(zero, tick)) continue;
    {
      HistoryStore store;  // replays the journal as the next start does
      ASSERT_EQ(store.Open(file), SQLITE_OK);
    }
    killedPartWay = killedPartWay ||
                    testing::QueryInteger(file,
                                          "SELECT count(*) FROM summary_upgrade"
                                          " WHERE done_before > first AND done_before < up_to") > 0;
  }
  EXPECT_TRUE(killedPartWay);
  {
    HistoryStore store;
    ASSERT_EQ(store.Open(file), SQLITE_OK);
    FinishUpgrade(store, 20'000);
  }
  EXPECT_EQ(testing::QueryInteger(file, "SELECT count(*) FROM samples WHERE time < 1800000000000"),
            500'000);
  EXPECT_EQ(Disagreements(file), 0);
}

}  // namespace
}  // namespace kelvoran
