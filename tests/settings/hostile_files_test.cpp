#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "platform/leftover_files.h"
#include "portable/private_profile.h"
#include "settings_files.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;
using testing::FakeHostRows;
using testing::LoadedHosts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Hosts = std::vector<std::string>;

FileResult SaveNew(const std::string& name, const std::string& file, std::size_t description = 0) {
  HostRecord host;
  host.Host = name;
  host.Description = std::string(description, 'd');
  return SaveHostSettings(host, name, file);
}

// Every corpus file loads the hosts a person would read in it, and saving a
// new host adds its section after the file's bytes, which stay as they were.
TEST(HostileFiles, CorpusLoadsCleanlyAndSavingKeepsEveryOtherByte) {
  const std::map<std::string, std::optional<Hosts>> expected = {
      {"binary_garbage.bin", std::nullopt},
      {"duplicates.ini", Hosts{"first", "other"}},
      {"empty.ini", Hosts{}},
      {"hand_written_crlf.ini", Hosts{"192.168.1.1", "printer.lab"}},
      {"no_line_end_at_end.ini", Hosts{"a"}},
      {"no_sections.ini", Hosts{}},
      {"old_mac_line_ends.ini", Hosts{"mac", "mac2"}},
      {"unclosed_and_stray.ini", Hosts{"u", "d", "tabbed"}},
      {"zero_bytes.ini", Hosts{std::string("o\0k", 3)}}};
  std::size_t seen = 0;
  for (const auto& entry : fs::directory_iterator(KELVORAN_SETTINGS_CORPUS)) {
    SCOPED_TRACE(entry.path().filename().string());
    ++seen;
    const auto hosts = expected.at(entry.path().filename().string());
    TempDir dir;
    const std::string original = ReadFile(entry.path());
    WriteFile(dir.File(), original);
    auto loaded = LoadedHosts(dir.File());
    EXPECT_EQ(loaded, hosts.value_or(loaded));
    ASSERT_TRUE(SaveNew("added", dir.File()).ok());
    EXPECT_EQ(ReadFile(dir.File()).substr(0, original.size()), original);
    loaded.push_back("added");
    EXPECT_EQ(LoadedHosts(dir.File()), loaded);
  }
  EXPECT_EQ(seen, expected.size());
}

// Big files go to memory-backed /dev/shm where there is one, so that the
// test measures the code and not the disk's flush.
fs::path BigFileBase() {
  std::error_code ignored;
  return fs::is_directory("/dev/shm", ignored) ? "/dev/shm" : fs::temp_directory_path();
}

// A fifty-megabyte value is cut, and names far beyond the classic
// 10,240-byte list, one huge name first, hide no host.
TEST(HostileFiles, HugeValueAndHundredThousandSectionsAllLoadAndSurviveASave) {
#if defined(__SANITIZE_THREAD__)
  // One thread only, so no race to find; the thread sanitizer's shadow memory
  // for some hundred megabytes costs half a minute. The other runs cover it.
  GTEST_SKIP() << "single-threaded; too costly under the thread sanitizer";
#endif
  TempDir dir(BigFileBase());
  const std::string huge(20'000, 'n');
  const std::string big =
      "[" + huge + "]\nHost=" + huge + "\nDescription=" + std::string(50 << 20, 'x') + "\n";
  std::string text = big;
  for (int i = 0; i < 100'000; ++i) {
    const std::string name = "h" + std::to_string(i);
    text += "[" + name + "]\nHost=" + name + "\n";
  }
  WriteFile(dir.File(), text);
  FakeHostRows rows;
  ASSERT_TRUE(LoadHostList(rows, dir.File()).ok());
  ASSERT_EQ(rows.RowCount(), 100'001);
  EXPECT_EQ(rows.RecordAt(0).Host.size(), 1023u) << "the value is cut, the host is not lost";
  EXPECT_EQ(rows.RecordAt(0).Description, std::string(1023, 'x'));
  EXPECT_EQ(rows.RecordAt(100'000).Host, "h99999");
  ASSERT_TRUE(SaveNew("H99999", dir.File()).ok());
  EXPECT_EQ(ReadFile(dir.File()).compare(0, big.size(), big), 0);
  ProfileText reread;
  ASSERT_TRUE(ReadProfile(dir.File(), reread).ok());
  EXPECT_EQ(reread.SectionNames().size(), 100'001u);
  EXPECT_EQ(reread.FindValue("h99999", "Host").value_or(""), "H99999");
  EXPECT_EQ(reread.FindValue("h50000", "Host").value_or(""), "h50000");
}

#ifndef _WIN32  // FIFOs, mode bits, root, rlimits and symbolic links of Linux
// The entries but the save locks, which stay beside the files they guard.
std::size_t EntryCount(const fs::path& dir) {
  return static_cast<std::size_t>(std::count_if(
      fs::directory_iterator(dir), {},
      [](const fs::directory_entry& entry) { return entry.path().extension() != ".lock"; }));
}

// Something other than a readable regular file where the settings file
// should be: loading and saving report it, and nothing on disk changes.
TEST(HostileFiles, DirectoryFifoPlainFileOrReadOnlyFileInTheWayIsReported) {
  TempDir dir;
  fs::create_directory(dir.File("dir"));
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
  WriteFile(dir.File("plain"), "[x]\nHost=x\n");
  WriteFile(dir.File("readonly"), "[r]\nHost=r\n");
  ASSERT_EQ(::chmod(dir.File("readonly").c_str(), 0444), 0);
  const struct {
    std::string file, loadError, saveError;
  } cases[] = {{dir.File("dir"), "Is a directory", "Is a directory"},
               {dir.File("fifo"), "not a regular file", "not a regular file"},
               {dir.File("plain") + "/KELVORAN.INI", "Not a directory", "Not a directory"},
               {dir.File("readonly"), "", "read-only"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    FakeHostRows rows;
    const FileResult load = LoadHostList(rows, c.file);
    EXPECT_NE(load.error.find(c.loadError), std::string::npos) << load.error;
    EXPECT_EQ(rows.RowCount(), c.loadError.empty() ? 1 : 0);
    const FileResult save = SaveNew("h", c.file);
    EXPECT_NE(save.error.find(c.file), std::string::npos) << save.error;
    EXPECT_NE(save.error.find(c.saveError), std::string::npos) << save.error;
  }
  EXPECT_TRUE(fs::is_directory(dir.File("dir")));
  EXPECT_TRUE(fs::is_fifo(dir.File("fifo")));
  EXPECT_EQ(ReadFile(dir.File("readonly")), "[r]\nHost=r\n");
  EXPECT_EQ(EntryCount(dir.path()), 4u) << "no temporary file left behind";
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
    const FileResult load = LoadHostList(rows, dir.File());
    return load.error.find("Permission denied") != std::string::npos &&
           !SaveNew("h", dir.File()).ok() && rows.RowCount() == 0;
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(check());
  } else {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(ReadFile(dir.File()), "[secret]\nHost=s\n");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
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
  const FileResult save = SaveNew("big", dir.File(), 100'000);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(save.error.find("File too large"), std::string::npos) << save.error;
  EXPECT_EQ(ReadFile(dir.File()), "[old]\nHost=old\n");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

// The kernel's protected-symlinks rule, applied whatever fs.protected_symlinks
// says: in a sticky world-writable folder a link is followed only when it is
// ours or the folder owner's, at every step of a chain. A refused link leaves
// the file it points at as it was, for loading and saving alike.
TEST(HostileFiles, LinkInASharedFolderIsFollowedOnlyWhenOursOrTheFolderOwners) {
  if (::geteuid() != 0) GTEST_SKIP() << "links of other users need root";
  constexpr uid_t kFolderOwner = 4242, kOtherUser = 4343;
  const struct {
    const char* what;
    mode_t folderMode;
    uid_t linkOwner;
    bool throughOwnLink, followed;
  } cases[] = {
      {"ours", 01777, 0, false, true},
      {"the folder owner's", 01777, kFolderOwner, false, true},
      {"another user's", 01777, kOtherUser, false, false},
      {"another user's, reached through ours", 01777, kOtherUser, true, false},
      {"another user's, folder not sticky", 0777, kOtherUser, false, true},
      {"another user's, folder not world-writable", 01775, kOtherUser, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path shared = dir.path() / "shared";
    ASSERT_TRUE(testing::MakeFolder(shared, c.folderMode, kFolderOwner));
    const std::string target = dir.File("elsewhere");
    WriteFile(target, "[a]\nHost=a\n");
    ASSERT_TRUE(testing::MakeLinkOwnedBy(target, shared / "KELVORAN.INI", c.linkOwner));
    std::string file = (shared / "KELVORAN.INI").string();
    if (c.throughOwnLink) {
      fs::create_symlink(file, dir.File());
      file = dir.File();
    }
    FakeHostRows rows;
    const FileResult load = LoadHostList(rows, file);
    const FileResult save = SaveNew("b", file);
    for (const FileResult* result : {&load, &save}) {
      EXPECT_EQ(result->ok(), c.followed) << result->error;
      if (!c.followed) {
        EXPECT_NE(result->error.find("belongs to another user in a shared folder"),
                  std::string::npos)
            << result->error;
      }
    }
    EXPECT_EQ(LoadedHosts(target), c.followed ? (Hosts{"a", "b"}) : (Hosts{"a"}));
    EXPECT_TRUE(fs::is_symlink(shared / "KELVORAN.INI"));
  }
}

// Another user can create files in a shared folder under every name they can
// guess: the pid and a count from 0 once were such names. The save still finds
// a free name, of the shape the cleanup of dead writers' leftovers reads.
TEST(HostileFiles, SaveSucceedsWhenTheGuessableTemporaryNamesAreTaken) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
  const std::string prefix = ".KELVORAN.INI." + std::to_string(::getpid()) + "-";
  for (int n = 0; n <= 200; ++n) WriteFile(dir.File(prefix + std::to_string(n) + ".tmp"), "");
  ASSERT_TRUE(SaveNew("h", dir.File()).ok());
  EXPECT_EQ(LoadedHosts(dir.File()), Hosts{"h"});
  EXPECT_EQ(EntryCount(dir.path()), 202u) << "a live writer's files stay";
  std::set<fs::path> names;
  for (const std::uint64_t pid : {std::uint64_t{1}, std::uint64_t{UINT32_MAX}}) {
    for (int n = 0; n < 32; ++n) {
      const fs::path name = TempFileName(dir.File(), pid);
      EXPECT_EQ(name.parent_path(), dir.path());
      EXPECT_EQ(LeftoverOwner(name.filename(), dir.File()), pid) << name;
      names.insert(name);
    }
  }
  EXPECT_EQ(names.size(), 64u) << "no name repeats";
}

TEST(HostileFiles, SymbolicLinkStaysAndItsTargetIsReplaced) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  const std::string target = dir.File("real/KELVORAN.INI");
  WriteFile(target, "[a]\nHost=a\n");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  fs::create_symlink("real/KELVORAN.INI", dir.File());
  ASSERT_TRUE(SaveNew("b", dir.File()).ok());
  EXPECT_TRUE(fs::is_symlink(dir.File()));
  EXPECT_EQ(LoadedHosts(target), (Hosts{"a", "b"}));
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

}  // namespace
}  // namespace kelvoran
