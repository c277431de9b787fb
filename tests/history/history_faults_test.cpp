#include <gtest/gtest.h>
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "failing_allocations.h"
#include "history_files.h"
#include "settings_files.h"
#include "temp_dir.h"
#include "writer_process.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;

// The ticks whose results are in the file.
std::vector<CalendarTime> TicksIn(HistoryRecorder& recorder) {
  std::vector<CalendarTime> ticks;
  recorder.Read([&](HistoryStore& store) {
    for (const HistorySample& sample : testing::SamplesOf(store, "h"))
      ticks.push_back(sample.time / 1000 - testing::kStart);
  });
  return ticks;
}

// One result of host h stamped with the tick, handed over as a tick does.
void Tick(HistoryRecorder& recorder, CalendarTime tick) {
  testing::RecordChange(recorder, "h", testing::kStart + tick);
  recorder.TickEnded();
}

TEST(HistoryFaults, SecondCopyRecordsNothingAndSaysSoOnce) {
  testing::TempDir dir;
  const std::string file = dir.File("KELVORAN.HISTORY");
  {
    HistoryRecorder closing(file);
    testing::RecordChange(closing, "h", testing::kStart + 1);  // closing writes its tick
  }
  HistoryRecorder first(file);
  ASSERT_TRUE(first.Flush()) << "opened, and holding the file";
  {
    HistoryRecorder second(file);
    Tick(second, 2);
    EXPECT_FALSE(second.Flush());
    EXPECT_EQ(second.CurrentState(), HistoryRecorder::State::Off);
    EXPECT_EQ(second.TakeNotice(),
              "History is not recorded: another copy of Kelvoran is using KELVORAN.HISTORY.");
    Tick(second, 3);
    second.Flush();
    EXPECT_EQ(second.TakeNotice(), std::nullopt);
  }
  Tick(first, 4);
  ASSERT_TRUE(first.Flush());
  EXPECT_EQ(TicksIn(first), (std::vector<CalendarTime>{1, 4}));
  EXPECT_EQ(first.TakeNotice(), std::nullopt);
}

// A read that runs out of memory, as a month of results may, fails alone: the
// window hears so, writing pauses with a notice and resumes by itself, and
// the writer lives on. What waits meanwhile beyond its bound goes oldest
// first, save a rename, or later results would land under the old name.
TEST(HistoryFaults, ReadOutOfMemoryFailsThatReadAndPausesWritingAWhile) {
  testing::TempDir dir;
  HistoryOptions options;
  options.retryEvery = std::chrono::milliseconds(500);
  options.maxWaitingResults = 1;
  HistoryRecorder recorder(dir.File("KELVORAN.HISTORY"), options);
  Tick(recorder, 1);
  ASSERT_TRUE(recorder.Flush());
  const bool read = recorder.Read([](HistoryStore& store) {
    std::vector<HistorySample> month;
    store.ForEachSample("h", 0, INT64_MAX, [&](const HistorySample& sample) {
      const testing::FailingAllocations failing;
      month.insert(month.end(), 30 * 24 * 3600, sample);
    });
  });
  EXPECT_FALSE(read);
  EXPECT_EQ(recorder.CurrentState(), HistoryRecorder::State::Paused);
  EXPECT_EQ(recorder.TakeNotice(),
            "History recording paused: not enough memory to read the history.");
  recorder.HostRenamed("h", "old h");
  Tick(recorder, 2);
  Tick(recorder, 3);
  ASSERT_TRUE(recorder.Flush());
  EXPECT_EQ(recorder.TakeNotice(), "History recording resumed.");
  EXPECT_EQ(TicksIn(recorder), std::vector<CalendarTime>{3});
  const HistoryAnswer<HistorySample> old = recorder.Queries().samples("old h", 0, INT64_MAX);
  ASSERT_TRUE(old);
  EXPECT_EQ(old->size(), 1u);
}

// A history file made by the store, its pages after the first (the schema's)
// overwritten: it opens, and the damage shows at the first write.
std::string DamagedPages(const fs::path& file) {
  {
    HistoryStore store;
    HistoryBatch batch;
    batch.results.push_back({"h", {1000, 0, 1, StatusOk}});
    if (store.Open(file.string()) != SQLITE_OK || store.Write({batch}) != SQLITE_OK) return {};
  }
  std::string bytes = testing::ReadFile(file);
  std::fill(bytes.begin() + 4096, bytes.end(), '\xA5');
  return bytes;
}

// Damaged twice, as a file of another kind and in its pages: each is kept
// beside, neither overwrites the other, and recording goes on in a new one.
TEST(HistoryFaults, DamagedFileIsMovedAsideAndANewOneStarted) {
  testing::TempDir dir;
  const fs::path file = dir.File("KELVORAN.HISTORY");
  const std::string settings = "[h]\nHost=h\n";
  testing::WriteFile(dir.File(), settings);
  const std::function<std::string(const fs::path&)> damages[] = {
      [](const fs::path&) { return std::string("[gateway]\nHost=gateway\n"); }, DamagedPages};
  std::vector<std::string> kept;
  for (const auto& damage : damages) {
    kept.push_back(damage(file));
    ASSERT_FALSE(kept.back().empty());
    testing::WriteFile(file, kept.back());
    const std::string aside =
        kept.size() == 1 ? "KELVORAN.HISTORY.damaged" : "KELVORAN.HISTORY.damaged-2";
    HistoryRecorder recorder(file.string());
    Tick(recorder, 5);
    ASSERT_TRUE(recorder.Flush());
    EXPECT_EQ(recorder.TakeNotice(), "KELVORAN.HISTORY was damaged and is kept as " + aside +
                                         "; a new history was started.");
    Tick(recorder, 6);
    ASSERT_TRUE(recorder.Flush());
    EXPECT_EQ(recorder.TakeNotice(), std::nullopt);
    EXPECT_EQ(TicksIn(recorder), (std::vector<CalendarTime>{5, 6}));
  }
  EXPECT_EQ(testing::ReadFile(dir.File("KELVORAN.HISTORY.damaged")), kept[0]);
  EXPECT_EQ(testing::ReadFile(dir.File("KELVORAN.HISTORY.damaged-2")), kept[1]);
  EXPECT_EQ(testing::ReadFile(dir.File()), settings);
}

#ifndef _WIN32
// A tmpfs of its own in a mount namespace of this test's process: a disk
// that fills up, a folder that can be made read-only.
bool MountSmallDisk(const fs::path& dir, unsigned long flags = 0) {
  return mount("tmpfs", dir.c_str(), "tmpfs", flags, "size=256k") == 0;
}

struct DiskFault {
  const char* what;
  bool beforeStart;
  std::function<bool(const fs::path&dir)> make, mend;
};

TEST(HistoryFaults, UnwritableFolderPausesRecordingUntilItCanWriteAgain) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "no mount namespace (needs root)";
  const DiskFault faults[] = {
      {"read-only folder", true,
       [](const fs::path& dir) { return MountSmallDisk(dir, MS_REMOUNT | MS_RDONLY); },
       [](const fs::path& dir) { return MountSmallDisk(dir, MS_REMOUNT); }},
      {"disk full", false,
       [](const fs::path& dir) {
         std::ofstream filler(dir / "filler", std::ios::binary);
         const char block[4096] = {};
         while (filler.write(block, sizeof block)) continue;
         return true;
       },
       [](const fs::path& dir) { return fs::remove(dir / "filler"); }},
  };
  for (const DiskFault& fault : faults) {
    SCOPED_TRACE(fault.what);
    testing::TempDir dir;
    ASSERT_TRUE(MountSmallDisk(dir.path()));
    if (fault.beforeStart) {
      ASSERT_TRUE(fault.make(dir.path()));
    }
    {
      // A failed write is tried again soon, and at most two results wait.
      HistoryOptions options;
      options.retryEvery = std::chrono::milliseconds(20);
      options.maxWaitingResults = 2;
      options.maxWaitingAlertLines = 1;
      HistoryRecorder recorder(dir.File("KELVORAN.HISTORY"), options);
      CalendarTime tick = 0;
      if (!fault.beforeStart) {
        Tick(recorder, ++tick);
        ASSERT_TRUE(recorder.Flush());
        ASSERT_TRUE(fault.make(dir.path()));
      }
      // The alert queue's calls wait too, beyond the bound of the log's lines.
      recorder.Queued(7, "hook", {});
      recorder.Queued(8, "hook", {});
      recorder.Finished(8);
      recorder.Attempted({});
      for (int failing = 0; failing < 3; ++failing) {
        Tick(recorder, ++tick);
        EXPECT_FALSE(recorder.Flush());
      }
      EXPECT_EQ(recorder.Unfinished().size(), 1u);
      EXPECT_EQ(recorder.TakeNotice(),
                "History recording paused: KELVORAN.HISTORY cannot be written.");
      EXPECT_EQ(recorder.TakeNotice(), std::nullopt);
      ASSERT_TRUE(fault.mend(dir.path()));
      bool written = false;
      for (int tries = 0; tries < 100 && !written; ++tries) written = recorder.Flush();
      ASSERT_TRUE(written);
      EXPECT_EQ(recorder.TakeNotice(), "History recording resumed.");
      EXPECT_EQ(recorder.TakeNotice(), std::nullopt);
      // Of the three results that waited, the oldest made room for the others.
      std::vector<CalendarTime> expected = {tick - 1, tick};
      if (!fault.beforeStart) expected.insert(expected.begin(), 1);
      EXPECT_EQ(TicksIn(recorder), expected);
      EXPECT_EQ(recorder.Unfinished().size(), 1u);
    }
    umount(dir.path().c_str());
  }
}

// Another user's link in a shared folder, where the history or its journal
// is to be, would make our writes land wherever it points: recording stops and
// says why, and nothing is written there. A link of our own there is followed.
TEST(HistoryFaults, AnotherUsersLinkInASharedFolderIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "links of other users need root";
  const struct {
    const char* link;
    uid_t owner;
    bool recorded;
  } cases[] = {
      {"KELVORAN.HISTORY", 4343, false},
      {"KELVORAN.HISTORY-wal", 4343, false},
      {"KELVORAN.HISTORY", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.link) + " of " + std::to_string(c.owner));
    testing::TempDir dir;
    const fs::path shared = dir.path() / "shared";
    ASSERT_TRUE(testing::MakeFolder(shared, 01777));
    const fs::path elsewhere = dir.path() / "elsewhere";
    ASSERT_TRUE(testing::MakeLinkOwnedBy(elsewhere, shared / c.link, c.owner));
    HistoryRecorder recorder((shared / "KELVORAN.HISTORY").string());
    Tick(recorder, 1);
    EXPECT_EQ(recorder.Flush(), c.recorded);
    EXPECT_EQ(fs::exists(elsewhere), c.recorded);
    if (c.recorded) continue;
    EXPECT_EQ(recorder.CurrentState(), HistoryRecorder::State::Off);
    EXPECT_EQ(recorder.TakeNotice(),
              "History is not recorded: KELVORAN.HISTORY or its journal is another user's "
              "symbolic link in a shared folder.");
  }
}

#endif

// Rows of the raw results per host and bucket that no summary row matches,
// and summary rows no raw results match: probes, failures and round-trip sum.
std::int64_t Disagreements(const std::string& file) {
  return testing::QueryInteger(
      file,
      "WITH raw AS (SELECT host, s.span, time - time % s.span AS start, count(*),"
      " sum(code != 0), coalesce(sum(CASE WHEN code = 0 THEN rtt END), 0) FROM samples,"
      " (SELECT 300000 AS span UNION ALL SELECT 3600000) s GROUP BY host, s.span, start),"
      " kept AS (SELECT host, span, start, probes, failures, rtt_sum FROM summaries)"
      " SELECT (SELECT count(*) FROM (SELECT * FROM raw EXCEPT SELECT * FROM kept))"
      " + (SELECT count(*) FROM (SELECT * FROM kept EXCEPT SELECT * FROM raw))");
}

// Kills a recording program at random moments, many times over, on one file:
// after every kill the file opens as it is, holds every tick the program
// handed over up to at most the last second, with nothing missing between,
// and its summaries agree with its results.
TEST(HistoryFaults, KilledWhileRecordingLosesAtMostTheLastSecond) {
  testing::TempDir dir;
  const std::string file = dir.File("KELVORAN.HISTORY");
  std::mt19937 random(20261207);
  for (int round = 1; round <= 8; ++round) {
    testing::WriterProcess writer(file, round, "history_writer");
    ASSERT_TRUE(writer.started());
    int zero = 0;
    long last = -1, tick = 0;
    ASSERT_TRUE(writer.Read(zero, tick)) << "the writer did not start";
    std::this_thread::sleep_for(std::chrono::milliseconds(800 + random() % 1200));
    ASSERT_TRUE(writer.Kill());
    while (writer.Read(zero, tick)) last = tick;
    {
      HistoryStore store;  // replays the journal as the next start does
      ASSERT_EQ(store.Open(file), SQLITE_OK);
      for (const char* host : {"h0", "h9"}) {
        std::vector<HistoryTime> times;
        const HistoryTime base = (testing::kStart + round * 1'000'000LL) * 1000;
        store.ForEachSample(host, base, base + 1'000'000'000LL,
                            [&](const HistorySample& s) { times.push_back(s.time); });
        ASSERT_GE(static_cast<long>(times.size()), last + 1 - 100) << host << " last tick " << last;
        ASSERT_LE(static_cast<long>(times.size()), last + 2);
        for (std::size_t i = 0; i < times.size(); ++i)
          ASSERT_EQ(times[i], base + static_cast<HistoryTime>(i) * 1000) << i;
      }
    }
    EXPECT_EQ(Disagreements(file), 0) << "round " << round;
  }
  EXPECT_FALSE(fs::exists(file + ".damaged"));
}

}  // namespace
}  // namespace kelvoran
