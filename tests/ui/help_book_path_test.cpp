// Where the help book is found, on real directories: next to the program and
// named after it in any case, then in the installed data directory.
#include "ui/help_book_path.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/settings/temp_dir.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;

class HelpBookPath : public ::testing::Test {
 protected:
  static fs::path Made(const fs::path& directory) {
    fs::create_directories(directory);
    return directory;
  }
  fs::path Touch(const fs::path& file) {
    std::ofstream(file) << "book";
    return file;
  }

  testing::TempDir dir_;
  const fs::path root_ = dir_.path();
  const fs::path bin_ = Made(root_ / "bin"), data_ = Made(root_ / "share");
  const fs::path program_ = bin_ / "kelvoran";
};

TEST_F(HelpBookPath, TheBookBesideTheProgramIsFoundInAnyCase) {
  EXPECT_EQ(FindHelpBook(program_, data_), std::nullopt);
  const fs::path upper = Touch(bin_ / "KELVORAN.HTB");
  EXPECT_EQ(FindHelpBook(program_, data_), upper);
  // Upper-casing the whole path would look in /TMP/...; the directory is
  // taken as it is and only the file name is compared without case.
  const fs::path exact = Touch(bin_ / "kelvoran.htb");
  EXPECT_EQ(FindHelpBook(program_, data_), exact) << "an exact match wins";
  fs::remove(exact);
  const fs::path mixed = Touch(bin_ / "Kelvoran.Htb");
  EXPECT_EQ(FindHelpBook(program_, data_), upper) << "the smallest name, whatever the order";
  fs::remove(upper);
  EXPECT_EQ(FindHelpBook(program_, data_), mixed);
}

TEST_F(HelpBookPath, TheBookIsNamedAfterTheProgramWithItsExtensionReplaced) {
  Touch(bin_ / "kelvoran.htb");
  const fs::path renamed = Touch(bin_ / "monitor.htb");
  EXPECT_EQ(FindHelpBook(bin_ / "monitor", data_), renamed);
  EXPECT_EQ(FindHelpBook(bin_ / "MONITOR.EXE", data_), renamed);
  EXPECT_EQ(FindHelpBook(bin_ / "kelvoran-debug", data_), std::nullopt);
}

TEST_F(HelpBookPath, TheInstalledBookIsTheFallbackAndOnlyFilesCount) {
  fs::create_directory(bin_ / "kelvoran.htb");  // a directory is no book
  const fs::path installed = Touch(data_ / "kelvoran.htb");
  EXPECT_EQ(FindHelpBook(program_, data_), installed);
  EXPECT_EQ(FindHelpBook(bin_ / "other", data_), installed) << "installed under its own name";
  EXPECT_EQ(FindHelpBook(program_, root_ / "missing"), std::nullopt);
  EXPECT_EQ(FindHelpBook(program_, ""), std::nullopt);

  fs::create_symlink(installed, bin_ / "KELVORAN.htb");
  EXPECT_EQ(FindHelpBook(program_, ""), bin_ / "KELVORAN.htb") << "a link to a book is a book";
  fs::remove(installed);
  EXPECT_EQ(FindHelpBook(program_, ""), std::nullopt) << "a dangling link is not";
}

TEST_F(HelpBookPath, OnlyTheWholeNameMatchesAndUnreadableDirectoriesFindNothing) {
  Touch(bin_ / "kelvoran.htb.old");
  Touch(bin_ / "xkelvoran.htb");
  Touch(bin_ / "kelvoran.ht");
  EXPECT_EQ(FindFileIgnoringCase(bin_, "kelvoran.htb"), std::nullopt);
  EXPECT_EQ(FindFileIgnoringCase(bin_ / "kelvoran.ht", "x"), std::nullopt) << "not a directory";
  // A program started by a bare name looks in the current directory.
  const fs::path before = fs::current_path();
  fs::current_path(bin_);
  Touch("kelvoran.htb");
  const auto found = FindHelpBook("kelvoran", "");
  fs::current_path(before);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "kelvoran.htb");
}

TEST(CompiledHelpPath, IsTheProgramPathInUpperCaseWithTheBookNameReplaced) {
  EXPECT_EQ(CompiledHelpPath("/opt/Tools/kelvoran.exe"), "/OPT/TOOLS/KELVORAN.CHM");
  EXPECT_EQ(CompiledHelpPath("/opt/kelvoran.hlp/Kelvoran"), "/OPT/KELVORAN.CHM/KELVORAN.CHM")
      << "every occurrence";
  EXPECT_EQ(CompiledHelpPath("/opt/monitor.exe"), "/OPT/MONITOR.HLP") << "another name";
  EXPECT_EQ(CompiledHelpPath("/opt/mykelvoran.exe"), "/OPT/MYKELVORAN.CHM") << "a plain replace";
}

}  // namespace
}  // namespace kelvoran
