#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "engine/host_record.h"
#include "settings_files.h"

namespace kelvoran {
namespace {

struct Confirmation {
  std::int32_t host, pass;
};

std::string HostName(int round, int host) {
  return "r" + std::to_string(round) + "h" + std::to_string(host);
}

// Saves the round's ten hosts over and over and tells the parent, through the
// pipe, after every save that returned success. Never returns.
[[noreturn]] void WriteUntilKilled(const std::string& file, int round, int confirmations) {
  for (std::int32_t pass = 0;; ++pass) {
    for (std::int32_t host = 0; host < 10; ++host) {
      HostRecord record;
      record.Host = HostName(round, host);
      record.PacketSize = 64;
      record.Description = "pass " + std::to_string(pass);
      if (!SaveHostSettings(record, record.Host, file).ok()) ::_exit(2);
      const Confirmation done{host, pass};
      if (::write(confirmations, &done, sizeof done) != sizeof done) ::_exit(3);
    }
  }
}

// Kills a writer at random moments, many times over: after every kill the
// file must load, and every host whose save had returned must be there,
// whole, with that save's settings or a later one's.
TEST(CrashSafety, KilledWriterNeverBreaksTheFileOrLosesASavedHost) {
  testing::TempDir dir;
  const std::string file = dir.File();
  std::map<std::string, int> confirmedPass;
  std::mt19937 random(20261206);
  for (int round = 0; round < 30; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      WriteUntilKilled(file, round, fds[1]);
    }
    ::close(fds[1]);
    Confirmation done{};
    const auto confirmed = [&] {
      if (::read(fds[0], &done, sizeof done) != sizeof done) return false;
      confirmedPass[HostName(round, done.host)] = done.pass;
      return true;
    };
    // Kill at a random moment once the writer is under way.
    const bool started = confirmed();
    ::usleep(static_cast<useconds_t>(random() % 30000));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(started && WIFSIGNALED(status)) << "the writer stopped on its own: " << status;
    while (confirmed()) continue;
    ::close(fds[0]);

    testing::FakeHostRows rows;
    ASSERT_TRUE(LoadHostList(rows, file).ok());
    std::map<std::string, const HostRecord*> loaded;
    for (int row = 0; row < rows.RowCount(); ++row)
      loaded[rows.RecordAt(row).Host] = &rows.RecordAt(row);
    for (const auto& [name, pass] : confirmedPass) {
      ASSERT_TRUE(loaded.count(name)) << name;
      EXPECT_EQ(loaded[name]->PacketSize, 64u);
      const int passRead = std::stoi(loaded[name]->Description.substr(5));
      EXPECT_TRUE(passRead == pass || passRead == pass + 1) << loaded[name]->Description;
    }
  }
}

// A writer killed between writing its temporary file and renaming it leaves
// the file behind; the next save removes those of writers that are gone, and
// nothing else.
TEST(CrashSafety, NextSaveRemovesTheTemporaryFilesOfWritersThatAreGone) {
  testing::TempDir dir;
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const auto beside = [&](const std::string& name) { return dir.path() / name; };
  const std::filesystem::path leftover = beside(".KELVORAN.INI." + std::to_string(gone) + "-7.tmp");
  const std::filesystem::path kept[] = {
      beside(".KELVORAN.INI." + std::to_string(::getppid()) + "-0.tmp"),  // a live writer's
      beside(".OTHER.INI." + std::to_string(gone) + "-7.tmp"),            // another file's
      beside(".KELVORAN.INI." + std::to_string(gone) + "-7.tmp~"), beside(".KELVORAN.INI.x-7.tmp")};
  std::ofstream{leftover};
  for (const auto& path : kept) std::ofstream{path};
  HostRecord record;
  record.Host = "a";
  ASSERT_TRUE(SaveHostSettings(record, record.Host, dir.File()).ok());
  EXPECT_FALSE(std::filesystem::exists(leftover));
  for (const auto& path : kept) EXPECT_TRUE(std::filesystem::exists(path)) << path;
}

}  // namespace
}  // namespace kelvoran
