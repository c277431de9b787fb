#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <random>

#include "history/history_store.h"
#include "history_files.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

using testing::kStart;
constexpr HistoryTime kBase = kStart * 1000LL;  // a multiple of an hour
constexpr HistoryTime kFive = HistorySummary::kFiveMinutes, kHour = HistorySummary::kHour;

HistoryBatch::Result At(const std::string& host, HistoryTime second, std::int32_t code,
                        std::uint32_t rtt) {
  return {host, {kBase + second * 1000, code, rtt, StatusOk}};
}

using Row = std::array<std::int64_t, 6>;  // start s, probes, failures, min, max, sum

std::vector<Row> RowsOf(HistoryStore& store, const std::string& host, HistoryTime span) {
  std::vector<Row> rows;
  for (const HistorySummary& s : store.Summaries(host, span, 0, INT64_MAX))
    rows.push_back({(s.start - kBase) / 1000, s.probes, s.failures, s.minRoundTrip, s.maxRoundTrip,
                    s.sumRoundTrip});
  return rows;
}

// Results at the edges of the buckets, written in two ticks so that the
// second adds to rows the first made; buckets that start with a failure.
TEST(HistorySummaries, ResultsAddUpPerFiveMinutesAndPerHour) {
  testing::TempDir dir;
  HistoryStore store;
  ASSERT_EQ(store.Open(dir.File("KELVORAN.HISTORY")), SQLITE_OK);
  HistoryBatch first, second;
  first.results = {At("gw", 0, 0, 10),      At("gw", 299, 11010, 0), At("gw", 300, 0, 40),
                   At("gw", 600, 11010, 0), At("gw", 601, 0, 30),    At("gw", 3600, 11010, 0)};
  second.results = {At("gw", 301, 0, 20), At("gw", 3599, 0, 7), At("gw", 3601, 0, 5),
                    At("gw", 300, 0, 99)};  // recorded already: not counted twice
  ASSERT_EQ(store.Write({first}), SQLITE_OK);
  ASSERT_EQ(store.Write({second}), SQLITE_OK);
  EXPECT_EQ(RowsOf(store, "gw", kFive), (std::vector<Row>{{0, 2, 1, 10, 10, 10},
                                                          {300, 2, 0, 20, 40, 60},
                                                          {600, 2, 1, 30, 30, 30},
                                                          {3300, 1, 0, 7, 7, 7},
                                                          {3600, 2, 1, 5, 5, 5}}));
  EXPECT_EQ(RowsOf(store, "gw", kHour),
            (std::vector<Row>{{0, 7, 2, 7, 40, 107}, {3600, 2, 1, 5, 5, 5}}));
}

// A batch of a long list gathers more summaries than are held before being
// merged into the file: each host's two results still make one row a span.
TEST(HistorySummaries, BatchOfALongListAddsUpAcrossTheMergesWithinIt) {
  testing::TempDir dir;
  HistoryStore store;
  ASSERT_EQ(store.Open(dir.File("KELVORAN.HISTORY")), SQLITE_OK);
  constexpr int kHosts = 2100;  // two spans each: more than 4,096 summaries
  HistoryBatch batch;
  for (const auto& [second, rtt] : {std::pair(0, 10u), std::pair(1, 20u)})
    for (int host = 0; host < kHosts; ++host)
      batch.results.push_back(At("h" + std::to_string(host), second, 0, rtt));
  ASSERT_EQ(store.Write({batch}), SQLITE_OK);
  for (int host = 0; host < kHosts; ++host)
    for (const HistoryTime span : {kFive, kHour})
      ASSERT_EQ(RowsOf(store, "h" + std::to_string(host), span),
                (std::vector<Row>{{0, 2, 0, 10, 20, 30}}))
          << host << " " << span;
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
  const auto hours = store.Summaries("gw", kHour, 0, INT64_MAX);
  ASSERT_EQ(hours.size(), 1u);
  for (const double p : {0.5, 0.95}) {
    const double exact = rtts[static_cast<std::size_t>(std::ceil(p * 1800)) - 1];
    EXPECT_NEAR(Percentile(hours[0].roundTrips, p).value_or(0), exact, 0.05 * exact) << p;
  }
}

// Files of the first version (no alert tables, no summaries, no schema
// version) and of the one before the summaries get what they lack as they
// are opened, once: the summaries as recording would have kept them.
TEST(HistorySummaries, UpgradeBuildsTheSummariesRecordingWouldHaveKept) {
  testing::TempDir dir;
  const std::string live = dir.File("LIVE.HISTORY");
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
  std::vector<std::string> olds;
  for (const char* older : {"DROP TABLE alert_queue; DROP TABLE alert_log; PRAGMA user_version=0",
                            "PRAGMA user_version=2"}) {
    olds.push_back(dir.File("OLD" + std::to_string(olds.size()) + ".HISTORY"));
    std::filesystem::copy_file(live, olds.back());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(olds.back().c_str(), &db), SQLITE_OK);
    const std::string downgrade = "DROP TABLE summaries; " + std::string(older);
    ASSERT_EQ(sqlite3_exec(db, downgrade.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  HistoryStore before;
  ASSERT_EQ(before.Open(live), SQLITE_OK);
  for (const std::string& old : olds)
    for (std::uint64_t opening = 1; opening <= 2; ++opening) {
      SCOPED_TRACE(old);
      HistoryStore after;
      ASSERT_EQ(after.Open(old), SQLITE_OK);
      for (double done = 0; after.UpgradePending();) ASSERT_EQ(after.UpgradeChunk(50, done), 0);
      for (const char* host : {"a", "b", "c"})
        for (const HistoryTime span : {kFive, kHour}) {
          const auto built = after.Summaries(host, span, 0, INT64_MAX);
          EXPECT_EQ(built, before.Summaries(host, span, 0, INT64_MAX)) << host << " " << span;
          EXPECT_GT(built.size(), span == kFive ? 30u : 2u);
        }
      ASSERT_EQ(after.Write({}, {WaitingAlert{opening, "hook", {}}}), SQLITE_OK);
      EXPECT_EQ(after.WaitingAlerts().size(), opening);
    }
}

}  // namespace
}  // namespace kelvoran

namespace kelvoran {
namespace {

// Renamed onto a deleted host's name after the old results of both have aged
// out: the old summaries are added up, the recent ones built from results.
TEST(HistorySummaries, ARenameMergesSummariesWhoseResultsAreGone) {
  constexpr HistoryTime kDay = 24 * kHour / 1000;  // seconds
  testing::TempDir dir;
  HistoryStore store;
  ASSERT_EQ(store.Open(dir.File("KELVORAN.HISTORY")), SQLITE_OK);
  HistoryBatch batch;
  for (const char* host : {"a", "b"})
    for (const HistoryTime second : {-10 * kDay, -10 * kDay + 1, HistoryTime{0}})
      batch.results.push_back(At(host, second, 0, host[0] == 'a' ? 10 : 30));
  ASSERT_EQ(store.Write({batch}), SQLITE_OK);
  bool more = true;
  while (more) ASSERT_EQ(store.DropExpired({kBase - kDay * 1000, 0, 0, 0}, 1000, more), SQLITE_OK);
  HistoryBatch rename;
  rename.rename = HistoryBatch::Rename{"a", "b"};
  ASSERT_EQ(store.Write({rename}), SQLITE_OK);
  // At second 0 both hosts answered at the same moment: the renamed one's
  // result is kept.
  for (const HistoryTime span : {kFive, kHour})
    EXPECT_EQ(RowsOf(store, "b", span),
              (std::vector<Row>{{-10 * kDay, 4, 0, 10, 30, 80}, {0, 1, 0, 10, 10, 10}}))
        << span;
  EXPECT_TRUE(RowsOf(store, "a", kHour).empty());
}

}  // namespace
}  // namespace kelvoran
