#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "engine/host_record.h"
#include "portable/file_lock.h"
#include "settings_files.h"
#include "writer_process.h"

namespace kelvoran {
namespace {

using ConfirmedPasses = std::map<std::string, long>;

// Reads the writer's next confirmed save into `confirmed`.
bool ReadConfirmed(testing::WriterProcess& writer, int round, ConfirmedPasses& confirmed) {
  int host = 0;
  long pass = 0;
  if (!writer.Read(host, pass)) return false;
  confirmed["r" + std::to_string(round) + "h" + std::to_string(host)] = pass;
  return true;
}

// The file loads, and every host whose save returned is there, whole, with
// that save's settings or a later one's.
void ExpectEveryConfirmedSave(const std::string& file, const ConfirmedPasses& confirmed) {
  testing::FakeHostRows rows;
  ASSERT_TRUE(LoadHostList(rows, file).ok());
  std::map<std::string, const HostRecord*> loaded;
  for (int row = 0; row < rows.RowCount(); ++row)
    loaded[rows.RecordAt(row).Host] = &rows.RecordAt(row);
  for (const auto& [name, saved] : confirmed) {
    ASSERT_TRUE(loaded.count(name)) << name;
    EXPECT_EQ(loaded[name]->PacketSize, 64u);
    const long passRead = std::stol(loaded[name]->Description.substr(5));
    EXPECT_TRUE(passRead == saved || passRead == saved + 1)
        << name << ": " << loaded[name]->Description << ", saved pass " << saved;
  }
}

// Kills a writer at random moments, many times over: after every kill the
// file must load, and every host whose save had returned must be there,
// whole, with that save's settings or a later one's.
TEST(CrashSafety, KilledWriterNeverBreaksTheFileOrLosesASavedHost) {
  testing::TempDir dir;
  const std::string file = dir.File();
  ConfirmedPasses confirmed;
  std::mt19937 random(20261206);
  for (int round = 0; round < 30; ++round) {
    testing::WriterProcess writer(file, round);
    ASSERT_TRUE(writer.started());
    // Kill at a random moment once the writer is under way.
    const bool started = ReadConfirmed(writer, round, confirmed);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    ASSERT_TRUE(writer.Kill() && started) << "the writer stopped on its own";
    while (ReadConfirmed(writer, round, confirmed)) continue;
    ExpectEveryConfirmedSave(file, confirmed);
  }
}

// Two copies saving into one file at once, each its own hosts over and over:
// each save applies its change to what the other wrote, so neither a host
// nor a later edit of it is lost.
TEST(CrashSafety, TwoWritersAtOnceLoseNoHostAndNoEdit) {
  testing::TempDir dir;
  const std::string file = dir.File();
  ConfirmedPasses confirmed;
  testing::WriterProcess first(file, 1);
  testing::WriterProcess second(file, 2);
  ASSERT_TRUE(first.started() && second.started());
  for (int save = 0; save < 100; ++save) {
    ASSERT_TRUE(ReadConfirmed(first, 1, confirmed));
    ASSERT_TRUE(ReadConfirmed(second, 2, confirmed));
  }
  ASSERT_TRUE(first.Kill() && second.Kill()) << "a writer stopped on its own";
  while (ReadConfirmed(first, 1, confirmed)) continue;
  while (ReadConfirmed(second, 2, confirmed)) continue;
  ExpectEveryConfirmedSave(file, confirmed);
}

// The folder stays taken while its holder lives, whatever else the process
// opens and closes (a file chooser peeks into every file it lists); the
// save lock is a slot of its own.
TEST(CrashSafety, FolderLockOutlivesOtherOpensOfItsFile) {
  testing::TempDir dir;
  const std::string lockPath = LockPathBeside(dir.File());
  const auto now = std::chrono::milliseconds(0);
  {
    const FileLock holder = FileLock::Take(lockPath, FileLock::Slot::Folder, now);
    ASSERT_TRUE(holder.held()) << holder.error();
    std::ifstream(lockPath).close();
    EXPECT_EQ(FileLock::Take(lockPath, FileLock::Slot::Folder, now).outcome(),
              FileLock::Outcome::Busy);
    EXPECT_TRUE(FileLock::Take(lockPath, FileLock::Slot::Save, now).held());
  }
  EXPECT_TRUE(FileLock::Take(lockPath, FileLock::Slot::Folder, now).held());
}

}  // namespace
}  // namespace kelvoran
