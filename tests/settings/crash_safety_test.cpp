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

}  // namespace
}  // namespace kelvoran
