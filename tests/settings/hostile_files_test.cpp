#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "fake_host_rows.h"
#include "platform/private_profile.h"
#include "settings_files.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;
using testing::FakeHostRows;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::vector<std::string> LoadedHosts(const std::string& file) {
  FakeHostRows rows;
  EXPECT_TRUE(LoadHostList(rows, file).ok());
  std::vector<std::string> hosts;
  for (int row = 0; row < rows.RowCount(); ++row) hosts.push_back(rows.RecordAt(row).Host);
  return hosts;
}

HostRecord NewHost(const std::string& name, std::size_t descriptionSize = 0) {
  HostRecord host;
  host.Host = name;
  host.Description = std::string(descriptionSize, 'd');
  return host;
}

std::vector<std::string> DirectoryEntries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  return names;
}

// Every corpus file loads the hosts a person would read in it, and saving a
// new host adds its section after the file's bytes, which stay as they were.
TEST(HostileFiles, CorpusLoadsCleanlyAndSavingKeepsEveryOtherByte) {
  const std::map<std::string, std::optional<std::vector<std::string>>> expected = {
      {"binary_garbage.bin", std::nullopt},
      {"duplicates.ini", std::vector<std::string>{"first", "other"}},
      {"empty.ini", std::vector<std::string>{}},
      {"hand_written_crlf.ini", std::vector<std::string>{"192.168.1.1", "printer.lab"}},
      {"no_line_end_at_end.ini", std::vector<std::string>{"a"}},
      {"no_sections.ini", std::vector<std::string>{}},
      {"old_mac_line_ends.ini", std::vector<std::string>{"mac", "mac2"}},
      {"unclosed_and_stray.ini", std::vector<std::string>{"u", "d", "tabbed"}},
      {"zero_bytes.ini", std::vector<std::string>{std::string("o\0k", 3)}},
  };
  std::size_t seen = 0;
  for (const auto& entry : fs::directory_iterator(KELVORAN_SETTINGS_CORPUS)) {
    SCOPED_TRACE(entry.path().filename().string());
    ++seen;
    const auto hosts = expected.at(entry.path().filename());
    TempDir dir;
    const std::string original = ReadFile(entry.path());
    WriteFile(dir.File(), original);
    const auto before = LoadedHosts(dir.File());
    if (hosts) {
      EXPECT_EQ(before, *hosts);
    }
    ASSERT_TRUE(SaveHostSettings(NewHost("added"), "added", dir.File()).ok());
    const std::string after = ReadFile(dir.File());
    EXPECT_EQ(after.substr(0, original.size()), original);
    auto expectedAfter = before;
    expectedAfter.push_back("added");
    EXPECT_EQ(LoadedHosts(dir.File()), expectedAfter);
  }
  EXPECT_EQ(seen, expected.size());
}

TEST(HostileFiles, FiftyMegabyteValueIsCutAndItsSectionSurvivesOtherSaves) {
#if defined(__SANITIZE_THREAD__)
  // One thread only, so there is no race to find; the thread sanitizer's
  // shadow memory for some hundred megabytes of buffers costs half a minute.
  // The plain and the address-sanitizer runs cover this test.
  GTEST_SKIP() << "single-threaded; too costly under the thread sanitizer";
#endif
  TempDir dir(testing::BigFileBase());
  const std::string big = "[big]\nHost=big\nDescription=" + std::string(50 << 20, 'x') + "\n";
  WriteFile(dir.File(), big + "[small]\nHost=small\n");
  FakeHostRows rows;
  ASSERT_TRUE(LoadHostList(rows, dir.File()).ok());
  ASSERT_EQ(rows.RowCount(), 2);
  EXPECT_EQ(rows.RecordAt(0).Description, std::string(1023, 'x'));
  ASSERT_TRUE(SaveHostSettings(NewHost("small"), "small", dir.File()).ok());
  const std::string after = ReadFile(dir.File());
  EXPECT_EQ(after.compare(0, big.size(), big), 0);
}

TEST(HostileFiles, HundredThousandSectionsLoadWhatFitsAndAllSurviveASave) {
  TempDir dir(testing::BigFileBase());
  std::string text;
  std::size_t listBytes = 1, fitting = 0;  // the final zero
  for (int i = 0; i < 100'000; ++i) {
    const std::string name = "h" + std::to_string(i);
    text += "[" + name + "]\nHost=" + name + "\n";
    listBytes += name.size() + 1;
    if (listBytes <= kSectionNamesBufferSize) ++fitting;
  }
  WriteFile(dir.File(), text);
  EXPECT_EQ(LoadedHosts(dir.File()).size(), fitting);
  HostRecord last = NewHost("H99999");
  ASSERT_TRUE(SaveHostSettings(last, last.Host, dir.File()).ok());
  ProfileText reread;
  ASSERT_TRUE(ReadProfile(dir.File(), reread).ok());
  EXPECT_EQ(reread.SectionNames().size(), 100'000u);
  EXPECT_EQ(reread.FindValue("h99999", "Host").value_or(""), "H99999");
  EXPECT_EQ(reread.FindValue("h50000", "Host").value_or(""), "h50000");
}

// Something other than a readable regular file where the settings file
// should be: loading reports it, saving reports it and changes nothing.
void ExpectRefusedBothWays(const std::string& file, const std::string& reason) {
  FakeHostRows rows;
  const FileResult load = LoadHostList(rows, file);
  EXPECT_NE(load.error.find(reason), std::string::npos) << load.error;
  EXPECT_EQ(rows.RowCount(), 0);
  const FileResult save = SaveHostSettings(NewHost("h"), "h", file);
  EXPECT_NE(save.error.find(file), std::string::npos) << save.error;
  EXPECT_NE(save.error.find(reason), std::string::npos) << save.error;
}

TEST(HostileFiles, DirectoryFifoOrPlainFileInTheWayIsReported) {
  TempDir dir;
  fs::create_directory(dir.File());
  ExpectRefusedBothWays(dir.File(), "Is a directory");
  EXPECT_TRUE(fs::is_directory(dir.File()));

  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
  ExpectRefusedBothWays(dir.File("fifo"), "not a regular file");
  EXPECT_TRUE(fs::is_fifo(dir.File("fifo")));

  WriteFile(dir.File("plain"), "[x]\nHost=x\n");
  ExpectRefusedBothWays(dir.File("plain") + "/KELVORAN.INI", "Not a directory");
  EXPECT_EQ(DirectoryEntries(dir.path()).size(), 3u) << "no temporary file left behind";
}

TEST(HostileFiles, ReadOnlyFileIsLoadedButNeverWritten) {
  TempDir dir;
  WriteFile(dir.File(), "[r]\nHost=r\n");
  ASSERT_EQ(::chmod(dir.File().c_str(), 0444), 0);
  EXPECT_EQ(LoadedHosts(dir.File()), std::vector<std::string>{"r"});
  const FileResult save = SaveHostSettings(NewHost("r"), "r", dir.File());
  EXPECT_NE(save.error.find("read-only"), std::string::npos) << save.error;
  EXPECT_EQ(ReadFile(dir.File()), "[r]\nHost=r\n");
  EXPECT_EQ(DirectoryEntries(dir.path()).size(), 1u);
}

// An unreadable file must not be replaced by one holding only the saved
// host. Root reads everything, so there the check runs in a child that has
// given up root for the unprivileged "nobody" user.
TEST(HostileFiles, UnreadableFileIsReportedAndNeverReplaced) {
  TempDir dir;
  WriteFile(dir.File(), "[secret]\nHost=s\n");
  ASSERT_EQ(::chmod(dir.File().c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0) << "the directory itself stays writable";
  const auto check = [&] {
    FakeHostRows rows;
    const bool loadFailed =
        LoadHostList(rows, dir.File()).error.find("Permission denied") != std::string::npos;
    const bool saveFailed = !SaveHostSettings(NewHost("h"), "h", dir.File()).ok();
    return loadFailed && saveFailed && rows.RowCount() == 0;
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(check());
  } else {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
      ::_exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(ReadFile(dir.File()), "[secret]\nHost=s\n");
  EXPECT_EQ(DirectoryEntries(dir.path()).size(), 1u);
}

// A write that fails half way (a full disk gives ENOSPC; the file size limit
// gives EFBIG through the same write(2) path) leaves the old file whole.
TEST(HostileFiles, FailedWriteIsReportedAndKeepsTheOldFile) {
  TempDir dir;
  WriteFile(dir.File(), "[old]\nHost=old\n");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const FileResult save = SaveHostSettings(NewHost("big", 100'000), "big", dir.File());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(save.error.find("File too large"), std::string::npos) << save.error;
  EXPECT_EQ(ReadFile(dir.File()), "[old]\nHost=old\n");
  EXPECT_EQ(DirectoryEntries(dir.path()).size(), 1u);
}

TEST(HostileFiles, SymbolicLinkStaysAndItsTargetIsReplaced) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  WriteFile(dir.File("real/KELVORAN.INI"), "[a]\nHost=a\n");
  ASSERT_EQ(::chmod(dir.File("real/KELVORAN.INI").c_str(), 0640), 0);
  fs::create_symlink("real/KELVORAN.INI", dir.File());
  ASSERT_TRUE(SaveHostSettings(NewHost("b"), "b", dir.File()).ok());
  EXPECT_TRUE(fs::is_symlink(dir.File()));
  EXPECT_EQ(LoadedHosts(dir.File("real/KELVORAN.INI")), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(fs::status(dir.File("real/KELVORAN.INI")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

}  // namespace
}  // namespace kelvoran
