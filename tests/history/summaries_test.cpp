#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

#include "history/history_store.h"
#include "history_files.h"
#include "temp_dir.h"
#include "writer_process.h"

namespace kelvoran {
namespace {

using testing::kStart;
constexpr HistoryTime kBase = kStart * 1000LL;  // a multiple of an hour
constexpr HistoryTime kFive = HistorySummary::kFiveMinutes, kHour = HistorySummary::kHour;

HistoryBatch::Result At(const std::string& host, HistoryTime second, std::int32_t code,
                        std::uint32_t rtt) {
  return {host, {kBase + second * 1000, code, rtt, StatusOk}};
}

// Rows of the raw results per host and bucket that no summary row matches,
// and summary rows no raw results match: probes, failures and round-trip sum.
std::int64_t Disagreements(const std::string& file) {
  sqlite3* db = nullptr;
  std::int64_t found = -1;
  constexpr const char* kCompare =
      "WITH raw AS (SELECT host, s.span, time - time % s.span AS start, count(*),"
      " sum(code != 0), coalesce(sum(CASE WHEN code = 0 THEN rtt END), 0) FROM samples,"
      " (SELECT 300000 AS span UNION ALL SELECT 3600000) s GROUP BY host, s.span, start),"
      " kept AS (SELECT host, span, start, probes, failures, rtt_sum FROM summaries)"
      " SELECT (SELECT count(*) FROM (SELECT * FROM raw EXCEPT SELECT * FROM kept))"
      " + (SELECT count(*) FROM (SELECT * FROM kept EXCEPT SELECT * FROM raw))";
  sqlite3_stmt* query = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, kCompare, -1, &query, nullptr) == SQLITE_OK &&
      sqlite3_step(query) == SQLITE_ROW)
    found = sqlite3_column_int64(query, 0);
  sqlite3_finalize(query);
  sqlite3_close(db);
  return found;
}

struct Row {
  HistoryTime start;
  std::int64_t probes, failures, min, max, sum;
};

std::vector<Row> RowsOf(HistoryStore& store, const std::string& host, HistoryTime span) {
  std::vector<Row> rows;
  for (const HistorySummary& s : store.Summaries(host, span, 0, INT64_MAX))
    rows.push_back({(s.start - kBase) / 1000, s.probes, s.failures, s.minRoundTrip, s.maxRoundTrip,
                    s.sumRoundTrip});
  return rows;
}

bool operator==(const Row& a, const Row& b) {
  return std::tie(a.start, a.probes, a.failures, a.min, a.max, a.sum) ==
         std::tie(b.start, b.probes, b.failures, b.min, b.max, b.sum);
}

// Results at the edges of the buckets, written in two ticks so that the
// second adds to rows the first made.
TEST(HistorySummaries, ResultsAddUpPerFiveMinutesAndPerHour) {
  testing::TempDir dir;
  HistoryStore store;
  ASSERT_EQ(store.Open(dir.File("KELVORAN.HISTORY")), SQLITE_OK);
  HistoryBatch first, second;
  first.results = {At("gw", 0, 0, 10), At("gw", 299, 11010, 0), At("gw", 300, 0, 40)};
  second.results = {At("gw", 301, 0, 20), At("gw", 3599, 0, 7), At("gw", 3600, 11010, 0),
                    At("gw", 300, 0, 99)};  // recorded already: not counted twice
  ASSERT_EQ(store.Write({first}), SQLITE_OK);
  ASSERT_EQ(store.Write({second}), SQLITE_OK);
  // {start s, probes, failures, min, max, sum}
  EXPECT_EQ(RowsOf(store, "gw", kFive), (std::vector<Row>{{0, 2, 1, 10, 10, 10},
                                                          {300, 2, 0, 20, 40, 60},
                                                          {3300, 1, 0, 7, 7, 7},
                                                          {3600, 1, 1, 0, 0, 0}}));
  EXPECT_EQ(RowsOf(store, "gw", kHour),
            (std::vector<Row>{{0, 5, 1, 7, 40, 77}, {3600, 1, 1, 0, 0, 0}}));
}

// An hour of spread-out round trips, a result every 2 s in ticks of 30:
// the median and the 95th percentile from the hour's histogram against the
// exact ones of the results.
TEST(HistorySummaries, PercentilesFromTheHistogramAreWithinAFewPercent) {
  testing::TempDir dir;
  HistoryStore store;
  ASSERT_EQ(store.Open(dir.File("KELVORAN.HISTORY")), SQLITE_OK);
  std::mt19937 random(7);
  std::lognormal_distribution<double> spread(std::log(30.0), 0.6);
  std::vector<std::uint32_t> rtts;
  for (int tick = 0; tick < 60; ++tick) {
    HistoryBatch batch;
    for (int i = 0; i < 30; ++i) {
      rtts.push_back(static_cast<std::uint32_t>(std::lround(spread(random))) + 1);
      batch.results.push_back(At("gw", tick * 60 + i * 2, 0, rtts.back()));
    }
    ASSERT_EQ(store.Write({batch}), SQLITE_OK);
  }
  std::sort(rtts.begin(), rtts.end());
  const auto exact = [&](double p) {
    return rtts[static_cast<std::size_t>(std::ceil(p * static_cast<double>(rtts.size()))) - 1];
  };
  const auto hours = store.Summaries("gw", kHour, 0, INT64_MAX);
  ASSERT_EQ(hours.size(), 1u);
  for (const double p : {0.5, 0.95}) {
    const double found = Percentile(hours[0].roundTrips, p).value_or(0);
    EXPECT_NEAR(found, exact(p), 0.05 * exact(p)) << p;
  }
}

// A recording program killed at random moments: every summary row agrees
// with the results it covers, whatever the moment.
TEST(HistorySummaries, AgreeWithTheResultsAfterAKill) {
  testing::TempDir dir;
  const std::string file = dir.File("KELVORAN.HISTORY");
  std::mt19937 random(20261208);
  for (int round = 1; round <= 3; ++round) {
    testing::WriterProcess writer(file, round, "history_writer");
    ASSERT_TRUE(writer.started());
    int zero = 0;
    long tick = 0;
    ASSERT_TRUE(writer.Read(zero, tick)) << "the writer did not start";
    std::this_thread::sleep_for(std::chrono::milliseconds(800 + random() % 800));
    ASSERT_TRUE(writer.Kill());
    while (writer.Read(zero, tick)) {
    }
    {
      HistoryStore store;  // replays the journal as the next start does
      ASSERT_EQ(store.Open(file), SQLITE_OK);
      EXPECT_FALSE(store.Summaries("h0", kFive, 0, INT64_MAX).empty());
    }
    EXPECT_EQ(Disagreements(file), 0) << "round " << round;
  }
}

// A file of the version before has its summaries built as it is opened: the
// same rows as those kept while recording.
TEST(HistorySummaries, UpgradeBuildsTheSummariesRecordingWouldHaveKept) {
  testing::TempDir dir;
  const std::string live = dir.File("LIVE.HISTORY"), old = dir.File("OLD.HISTORY");
  {
    HistoryStore store;
    ASSERT_EQ(store.Open(live), SQLITE_OK);
    std::uint32_t n = 0;
    for (int tick = 0; tick < 400; ++tick, ++n) {
      HistoryBatch batch;
      for (const char* host : {"a", "b", "c"})
        batch.results.push_back(At(host, tick * 23, n % 11 == 0 ? 11010 : 0, (n * 31) % 500));
      ASSERT_EQ(store.Write({batch}), SQLITE_OK);
    }
  }
  std::filesystem::copy_file(live, old);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(old.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db, "DROP TABLE summaries; PRAGMA user_version=2", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
  HistoryStore before, after;
  ASSERT_EQ(before.Open(live), SQLITE_OK);
  ASSERT_EQ(after.Open(old), SQLITE_OK);
  for (const char* host : {"a", "b", "c"})
    for (const HistoryTime span : {kFive, kHour}) {
      const auto built = after.Summaries(host, span, 0, INT64_MAX);
      EXPECT_EQ(built, before.Summaries(host, span, 0, INT64_MAX)) << host << " " << span;
      EXPECT_GT(built.size(), span == kFive ? 30u : 2u);
    }
}

}  // namespace
}  // namespace kelvoran
