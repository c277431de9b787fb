#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/host_record.h"
#include "engine/quality_watch.h"
#include "engine/result_text.h"
#include "history/history_recorder.h"
#include "history_files.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

using testing::kStart;

// Each result and each change of status, as the tick hands them over; an
// outage held behind a down host says so.
TEST(HistoryRecording, EveryAppliedResultAndStatusChangeIsRecorded) {
  testing::TempDir dir;
  HistoryRecorder recorder(dir.File("KELVORAN.HISTORY"));
  HostRecord host;
  host.Host = "Gateway";
  host.Status = StatusWarning;
  const std::tuple<ProbeResult, std::int32_t, const char*> ticks[] = {
      {{.RoundTripTime = 5, .StartTime = kStart}, StatusWarning, ""},
      {{.RoundTripTime = 7, .StartTime = kStart + 1}, StatusOk, ""},
      // A failure's round trip is not kept.
      {{.RoundTripTime = 9, .ResultCode = 11010, .StartTime = kStart + 2}, StatusError, ""},
      // The same second: a millisecond later, not lost.
      {{.ResultCode = 11003, .StartTime = kStart + 2}, StatusError, ""},
      {{.StartTime = kStart + 3}, StatusOk, ""},
      {{.ResultCode = 11010, .StartTime = kStart + 4}, StatusError, "Router"},
  };
  for (const auto& [result, status, behind] : ticks) {
    host.UnreachableBehind = behind;
    recorder.ResultApplied(host, result, std::exchange(host.Status, status));
    recorder.TickEnded();
  }
  ASSERT_TRUE(recorder.Flush());

  const HistoryTime t = kStart * 1000;
  const std::vector<HistorySample> expectedSamples = {
      {t, 0, 5, StatusWarning},          {t + 1000, 0, 7, StatusOk},
      {t + 2000, 11010, 0, StatusError}, {t + 2001, 11003, 0, StatusError},
      {t + 3000, 0, 0, StatusOk},        {t + 4000, 11010, 0, StatusError}};
  const std::vector<HistoryChange> expectedChanges = {
      {t + 4000, "Gateway", StatusOk, StatusError, "unreachable: Router is down"},
      {t + 3000, "Gateway", StatusError, StatusOk, ResultText(0, 0)},
      {t + 2000, "Gateway", StatusOk, StatusError, ResultText(11010, 0)},
      {t + 1000, "Gateway", StatusWarning, StatusOk, ResultText(0, 0)}};
  recorder.Read([&](HistoryStore& store) {
    // The host is found by the settings file's rule for section names.
    EXPECT_EQ(testing::SamplesOf(store, " GATEWAY"), expectedSamples);
    EXPECT_EQ(store.Changes(0, t + 2000), std::vector{expectedChanges[3]});
    EXPECT_EQ(store.Changes(0, kStart * 2000), expectedChanges);
  });
}

// Quality changes are kept beside the status changes, follow a rename and
// go with a forgotten host.
TEST(HistoryRecording, QualityChangesAreKeptRenamedAndForgotten) {
  testing::TempDir dir;
  const std::string path = dir.File("KELVORAN.HISTORY");
  auto recorder = std::make_unique<HistoryRecorder>(path);
  HostRecord host;
  host.Host = "gw";
  host.QualityFlags = QualityFlag(QualityRule::Lossy);
  const QualityEdge raised{QualityRule::Lossy, true, 40, 10, 20, kStart, kStart, {}};
  recorder->QualityChanged(host, raised);
  recorder->TickEnded();
  recorder->HostRenamed("gw", "router");
  host.Host = "router";
  host.QualityFlags = 0;
  recorder->QualityChanged(host, {QualityRule::Lossy, false, 0, 10, 20, kStart + 60, kStart, {}});
  recorder->TickEnded();
  ASSERT_TRUE(recorder->Flush());
  const HistoryTime t = kStart * 1000;
  const std::string router = "router";
  recorder->Read([&](HistoryStore& store) {
    EXPECT_EQ(store.QualityChanges(0, INT64_MAX, &router),
              (std::vector<HistoryChange>{{t + 60'000, "router", 2, 0,
                                           "no longer lossy: 0 % lost over 10 probes (limit 20 %)"},
                                          {t, "router", 0, 2, QualityEdgeText(raised)}}));
    EXPECT_TRUE(store.Changes(0, INT64_MAX).empty()) << "no change of status";
  });
  recorder->HostForgotten("router");
  ASSERT_TRUE(recorder->Flush());
  recorder.reset();
  EXPECT_EQ(testing::QueryInteger(path, "SELECT count(*) FROM quality_changes"), 0);
}

// The host has `count` results under `name`, as many changes carrying the
// name, and summaries that count them all.
void ExpectRecorded(HistoryStore& store, const std::string& name, std::size_t count) {
  SCOPED_TRACE(name);
  EXPECT_EQ(testing::SamplesOf(store, name).size(), count);
  if (!count) return;
  const auto changes = store.Changes(0, INT64_MAX, &name);
  ASSERT_EQ(changes.size(), count);
  EXPECT_EQ(changes.front().host, name);
  std::int64_t summarised = 0;
  for (const HistorySummary& s : store.Summaries(name, HistorySummary::kHour, 0, INT64_MAX))
    summarised += s.probes;
  EXPECT_EQ(summarised, static_cast<std::int64_t>(count));
}

struct RenameCase {
  const char* what;
  std::vector<std::string> before;
  std::string from, to;
  std::vector<std::string> after;
  // Results found under each name, whose changes carry it.
  std::map<std::string, std::size_t> counts;
};

TEST(HistoryRecording, RenameCarriesTheHistoryToTheNewName) {
  const std::string odd = "odd \"name\",\n\xff";
  const RenameCase cases[] = {
      // A host added under the old name after the rename starts its own.
      {"new name", {"a"}, "a", odd, {odd, "a"}, {{odd, 2}, {"a", 1}}},
      // b was deleted; its history stays and is joined.
      {"name of a deleted host", {"b", "a"}, "a", "b", {}, {{"b", 2}, {"a", 0}}},
      // A host recorded after it: the history keeps its place in the file.
      {"case only", {"gw", "later"}, "gw", "GW", {"GW"}, {{"GW", 2}}},
  };
  for (const RenameCase& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    HistoryRecorder recorder(dir.File("KELVORAN.HISTORY"));
    CalendarTime start = kStart;
    for (const std::string& name : c.before) testing::RecordChange(recorder, name, ++start);
    recorder.TickEnded();
    recorder.HostRenamed(c.from, c.to);
    for (const std::string& name : c.after) testing::RecordChange(recorder, name, ++start);
    ASSERT_TRUE(recorder.Flush());
    recorder.Read([&](HistoryStore& store) {
      for (const auto& [name, count] : c.counts) ExpectRecorded(store, name, count);
    });
  }
}

TEST(HistoryRecording, ForgettingAHostDropsItsHistoryButNotTheAlertLog) {
  testing::TempDir dir;
  const std::string path = dir.File("KELVORAN.HISTORY");
  {
    HistoryRecorder recorder(path);
    CalendarTime start = kStart;
    for (const char* name : {"gw", "other", "gw"}) testing::RecordChange(recorder, name, ++start);
    recorder.TickEnded();
    AlertLogEntry sent;
    sent.at = start;
    sent.channel = "mail";
    sent.host = "gw";
    recorder.Attempted(sent);
    // A result of the tick under way is forgotten with the rest.
    testing::RecordChange(recorder, "gw", ++start);
    recorder.HostForgotten("GW");
    // The same name again: a history of its own from here on.
    testing::RecordChange(recorder, "gw", ++start);
    ASSERT_TRUE(recorder.Flush());
    recorder.Read([&](HistoryStore& store) {
      ExpectRecorded(store, "gw", 1);
      EXPECT_EQ(testing::SamplesOf(store, "gw").front().time, start * 1000);
      ExpectRecorded(store, "other", 1);
      EXPECT_EQ(store.AlertLog(0, INT64_MAX, {}), std::vector{sent});
    });
  }
  // Nothing of the forgotten host is left behind under its former id.
  EXPECT_EQ(testing::QueryInteger(
                path,
                "SELECT (SELECT count(*) FROM samples WHERE host NOT IN (SELECT id FROM hosts))"
                " + (SELECT count(*) FROM summaries WHERE host NOT IN (SELECT id FROM hosts))"
                " + (SELECT count(*) FROM changes WHERE host NOT IN (SELECT id FROM hosts))"),
            0);
}

// Each chunk drops at most its rows; the pass goes on until every host's
// results older than 30 days and changes older than a year are gone.
TEST(HistoryRetention, DropsExpiredRowsInChunks) {
  constexpr HistoryTime kDay = HistoryOptions::kDay;
  const HistoryTime now = kStart * 1000;
  for (const int chunk : {1, 2, 1000}) {
    SCOPED_TRACE(chunk);
    testing::TempDir dir;
    HistoryStore store;
    ASSERT_EQ(store.Open(dir.File("KELVORAN.HISTORY")), SQLITE_OK);
    const std::vector<std::string> hosts = {"a", "b", "c"};
    // A name whose every row ages out: the first, so that it has id 1.
    HistoryBatch batch;
    batch.results.push_back({"gone", {now - 800 * kDay, 0, 1, StatusOk}});
    for (const std::string& host : hosts) {
      for (const HistoryTime time : {now - 731 * kDay, now - 91 * kDay, now - 40 * kDay,
                                     now - 30 * kDay - 1, now - 30 * kDay, now})
        batch.results.push_back({host, {time, 0, 1, StatusOk}});
      for (const HistoryTime time : {now - 366 * kDay, now - 364 * kDay})
        batch.changes.push_back({time, host, StatusOk, StatusError, "x"});
    }
    std::vector<AlertJournalCall> log;
    for (const HistoryTime time : {now - 366 * kDay, now - 364 * kDay}) {
      AlertLogEntry& entry = std::get<AlertLogEntry>(log.emplace_back(AlertLogEntry{}));
      entry.at = time / 1000;
    }
    ASSERT_EQ(store.Write({batch}, log), SQLITE_OK);
    std::size_t rows = testing::RowCount(store, hosts);
    // A pass that drops results, then one that finds summaries only.
    for (const HistoryTime summaries : {0, 1})
      for (bool more = true; more;) {
        ASSERT_EQ(store.DropExpired({now - 30 * kDay, now - 365 * kDay,
                                     summaries * (now - 90 * kDay), summaries * (now - 730 * kDay)},
                                    chunk, more),
                  SQLITE_OK);
        const std::size_t left = testing::RowCount(store, hosts);
        EXPECT_LE(rows - left, static_cast<std::size_t>(chunk));
        rows = left;
      }
    // Forgotten, it comes back with its next result, under a new id.
    HistoryBatch back;
    back.results.push_back({"gone", {now, 0, 1, StatusOk}});
    ASSERT_EQ(store.Write({back}), SQLITE_OK);
    EXPECT_EQ(testing::SamplesOf(store, "gone").size(), 1u);
    const auto logKept = store.AlertLog(0, now + 1, {});
    ASSERT_EQ(logKept.size(), 1u) << "the alert log as long as the changes";
    EXPECT_EQ(logKept[0].at * 1000, now - 364 * kDay);
    for (const std::string& host : hosts) {
      std::vector<HistoryTime> samples, changes;
      for (const HistorySample& s : testing::SamplesOf(store, host)) samples.push_back(s.time);
      for (const HistoryChange& c : store.Changes(0, now + 1, &host)) changes.push_back(c.time);
      EXPECT_EQ(samples, (std::vector{now - 30 * kDay, now}));
      EXPECT_EQ(changes, std::vector{now - 364 * kDay});
      // Summaries outlive the results: 5-minute ones 90 days, hourly ones two years.
      for (const auto& [span, oldest] : {std::pair(HistorySummary::kFiveMinutes, now - 40 * kDay),
                                         std::pair(HistorySummary::kHour, now - 91 * kDay)}) {
        const auto kept = store.Summaries(host, span, 0, now + 1);
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(kept.front().start, oldest - oldest % span) << span;
      }
    }
    store.Close();
    EXPECT_EQ(testing::QueryInteger(dir.File("KELVORAN.HISTORY"),
                                    "SELECT id FROM hosts WHERE key = 'gone'"),
              5);
  }
}

// The recorder's own pass keeps the changes longer than the results.
TEST(HistoryRetention, RecorderKeepsEachKindAsLongAsItsOptionsSay) {
  testing::TempDir dir;
  HistoryOptions options;
  options.now = [] { return (kStart + 40 * 24 * 3600) * 1000; };
  options.passEvery = std::chrono::milliseconds(10);
  HistoryRecorder recorder(dir.File("KELVORAN.HISTORY"), options);
  testing::RecordChange(recorder, "h", kStart);
  ASSERT_TRUE(recorder.Flush());
  std::size_t samples = 1, changes = 0;
  for (int tries = 0; tries < 500 && samples != 0; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    recorder.Read([&](HistoryStore& store) {
      samples = testing::SamplesOf(store, "h").size();
      changes = store.Changes(0, INT64_MAX).size();
    });
  }
  EXPECT_EQ(samples, 0u);
  EXPECT_EQ(changes, 1u);
}

}  // namespace
}  // namespace kelvoran
