#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "engine/host_record.h"
#include "settings_files.h"
#include "writer_process.h"

namespace kelvoran {
namespace {

// Kills a writer at random moments, many times over: after every kill the
// file must load, and every host whose save had returned must be there,
// whole, with that save's settings or a later one's.
TEST(CrashSafety, KilledWriterNeverBreaksTheFileOrLosesASavedHost) {
  testing::TempDir dir;
  const std::string file = dir.File();
  std::map<std::string, long> confirmedPass;
  std::mt19937 random(20261206);
  for (int round = 0; round < 30; ++round) {
    testing::WriterProcess writer(file, round);
    ASSERT_TRUE(writer.started());
    int host = 0;
    long pass = 0;
    const auto confirmed = [&] {
      if (!writer.Read(host, pass)) return false;
      confirmedPass["r" + std::to_string(round) + "h" + std::to_string(host)] = pass;
      return true;
    };
    // Kill at a random moment once the writer is under way.
    const bool started = confirmed();
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    ASSERT_TRUE(writer.Kill() && started) << "the writer stopped on its own";
    while (confirmed()) continue;

    testing::FakeHostRows rows;
    ASSERT_TRUE(LoadHostList(rows, file).ok());
    std::map<std::string, const HostRecord*> loaded;
    for (int row = 0; row < rows.RowCount(); ++row)
      loaded[rows.RecordAt(row).Host] = &rows.RecordAt(row);
    for (const auto& [name, saved] : confirmedPass) {
      ASSERT_TRUE(loaded.count(name)) << name;
      EXPECT_EQ(loaded[name]->PacketSize, 64u);
      const long passRead = std::stol(loaded[name]->Description.substr(5));
      EXPECT_TRUE(passRead == saved || passRead == saved + 1) << loaded[name]->Description;
    }
  }
}

}  // namespace
}  // namespace kelvoran
