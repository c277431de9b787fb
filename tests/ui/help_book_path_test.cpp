// Where the help book is found, on real directories: next to the program and
// named after it in any case, then in the installed data directory.
#include "ui/parts/help_book_path.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/settings/temp_dir.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;

TEST(HelpBookPath, BesideTheProgramInAnyCaseThenInstalledAndOnlyFilesCount) {
  testing::TempDir dir;
  const fs::path bin = dir.path() / "bin", data = dir.path() / "share", program = bin / "kelvoran";
  fs::create_directories(bin);
  fs::create_directories(data);
  const auto touch = [](const fs::path& file) {
    std::ofstream(file) << "book";
    return file;
  };
  EXPECT_EQ(FindHelpBook(program, data), std::nullopt);
  // Upper-casing the whole path would look in /TMP/...; only the file name
  // is compared without case, an exact match first, then the smallest name.
  const fs::path upper = touch(bin / "KELVORAN.HTB");
  EXPECT_EQ(FindHelpBook(program, data), upper);
  const fs::path exact = touch(bin / "kelvoran.htb");
  EXPECT_EQ(FindHelpBook(program, data), exact);
  fs::remove(exact);
  const fs::path mixed = touch(bin / "Kelvoran.Htb");
  EXPECT_EQ(FindHelpBook(program, data), upper);
  fs::remove(upper);
  EXPECT_EQ(FindHelpBook(program, data), mixed);
  // Named after the program, its extension replaced.
  const fs::path renamed = touch(bin / "monitor.htb");
  EXPECT_EQ(FindHelpBook(bin / "MONITOR.EXE", data), renamed);
  EXPECT_EQ(FindHelpBook(bin / "kelvoran-debug", data), std::nullopt);
  for (const char* near : {"kelvoran.htb.old", "xkelvoran.htb", "kelvoran.ht"}) touch(bin / near);
  fs::remove(mixed);
  EXPECT_EQ(FindFileIgnoringCase(bin, "kelvoran.htb"), std::nullopt) << "only the whole name";
  EXPECT_EQ(FindFileIgnoringCase(bin / "kelvoran.ht", "x"), std::nullopt) << "not a directory";
  // The installed book is the fallback; a directory or a dangling link is
  // no book, a link to one is.
  fs::create_directory(bin / "kelvoran.htb");
  const fs::path installed = touch(data / "kelvoran.htb");
  EXPECT_EQ(FindHelpBook(program, data), installed);
  EXPECT_EQ(FindHelpBook(bin / "other", data), installed) << "installed under its own name";
  EXPECT_EQ(FindHelpBook(program, dir.path() / "missing"), std::nullopt);
  fs::create_symlink(installed, bin / "KELVORAN.htb");
  EXPECT_EQ(FindHelpBook(program, ""), bin / "KELVORAN.htb");
  fs::remove(installed);
  EXPECT_EQ(FindHelpBook(program, ""), std::nullopt);
  // A program started by a bare name looks in the current directory.
  const fs::path before = fs::current_path();
  fs::current_path(data);
  touch("kelvoran.htb");
  const auto found = FindHelpBook("kelvoran", "");
  fs::current_path(before);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "kelvoran.htb");
}

TEST(CompiledHelpPath, IsTheProgramPathInUpperCaseWithTheBookNameReplaced) {
  const std::pair<const char*, const char*> cases[] = {
      {"/opt/Tools/kelvoran.exe", "/OPT/TOOLS/KELVORAN.CHM"},
      {"/opt/kelvoran.hlp/Kelvoran", "/OPT/KELVORAN.CHM/KELVORAN.CHM"},  // every occurrence
      {"/opt/monitor.exe", "/OPT/MONITOR.HLP"},
      {"/opt/mykelvoran.exe", "/OPT/MYKELVORAN.CHM"}};  // a plain replace
  for (const auto& [program, book] : cases) EXPECT_EQ(CompiledHelpPath(program), book);
}

}  // namespace
}  // namespace kelvoran
