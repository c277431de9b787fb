#include "engine/host_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/host_record.h"
#include "settings_files.h"
#include "writer_process.h"

namespace kelvoran {
namespace {

using testing::FakeHostRows;
using testing::ReadFile;
using testing::Settings;
using testing::WriteFile;
using Hosts = std::vector<std::string>;

constexpr char kGatewaySection[] =
    "[gateway]\nHost=gateway\nTimeout=10\nDelay=10\nPacketSize=32\nFailPeriod=60\n"
    "SuccessPeriod=60\nPopupDestination=\nPopupMessage=\nDescription=Router\n";

HostRecord Gateway(const std::string& name = "gateway") {
  HostRecord host;
  Settings(host) = std::tuple(name, 10, 60, 60, 32u, 10, "", "", "Router", false);
  return host;
}

class HostSettings : public ::testing::Test {
 protected:
  void Save(const HostRecord& host) { ASSERT_TRUE(SaveHostSettings(host, host.Host, file).ok()); }
  void Empty(const std::string& section) {
    ASSERT_TRUE(RemoveHostSection(section, nullptr, file).ok());
  }
  Hosts Loaded() { return testing::LoadedHosts(file); }

  testing::TempDir dir;
  std::string file = dir.File();
};

TEST_F(HostSettings, ExampleIsWrittenByteForByteAndEverySettingReadsBack) {
  Save(Gateway());
  EXPECT_EQ(ReadFile(file), kGatewaySection);
  HostRecord extreme;
  Settings(extreme) = std::tuple("10.0.0.1", -1, INT32_MAX, 0, 4294967295u, INT32_MIN, "ops, desk",
                                 "down = bad; [really]", "caf\xE9 \x80\xFF", true);
  HostRecord emptyTexts = Gateway("bare");
  emptyTexts.Description.clear();
  for (const HostRecord* expected : {&extreme, &emptyTexts}) {
    Save(*expected);
    HostRecord loaded;
    EXPECT_EQ(LoadHostSettings(loaded, expected->Host, file), 0);
    EXPECT_EQ(Settings(loaded), Settings(*expected));
  }
}

// An edit writes only what changed: a text longer than a record holds,
// comments and keys of other writers stay; the known keys come first, in the
// writer's order.
TEST_F(HostSettings, EditKeepsWhatItDidNotChangeAndOrdersTheKnownKeys) {
  const std::string longText(1500, 'd');
  WriteFile(file, "[gateway]\n; my router\nDescription=" + longText +
                      "\nFoo=bar\nHost=gateway\nSuccessPeriod=60\n\n[other]\nHost=other\n");
  FakeHostRows rows;
  ASSERT_TRUE(LoadHostList(rows, file).ok());
  const HostRecord& before = rows.RecordAt(0);
  HostRecord after(before);
  after.Delay = 20;
  ASSERT_TRUE(SaveHostEdit(before, after, file).ok());
  EXPECT_EQ(ReadFile(file), "[gateway]\nHost=gateway\nDelay=20\nSuccessPeriod=60\nDescription=" +
                                longText + "\n; my router\nFoo=bar\n\n[other]\nHost=other\n");
}

// Earlier versions neither write nor know the key: it is there only while
// the option is on, so their sections stay as they were.
TEST_F(HostSettings, PopupWhenOkIsAKeyOnlyWhileItIsOn) {
  HostRecord host = Gateway();
  host.PopupWhenOk = true;
  Save(host);
  const std::string withKey = std::string(kGatewaySection) + "PopupWhenOk=1\n";
  EXPECT_EQ(ReadFile(file), withKey);
  // Turned off, the key goes, and the next section still takes its keys.
  WriteFile(file, withKey + "[next]\nHost=next\n");
  host.PopupWhenOk = false;
  const HostRecord next = Gateway("next");
  ASSERT_TRUE(SaveHostSettings({&host, &next}, file).ok());
  EXPECT_EQ(ReadFile(file),
            kGatewaySection + std::regex_replace(kGatewaySection, std::regex("gateway"), "next"));
  for (const auto& [line, on] : {std::pair("", false), std::pair("PopupWhenOk=0\n", false),
                                 std::pair("PopupWhenOk=2\n", true)}) {
    WriteFile(file, kGatewaySection + std::string(line));
    HostRecord loaded;
    loaded.PopupWhenOk = !on;
    ASSERT_EQ(LoadHostSettings(loaded, "gateway", file), 0);
    EXPECT_EQ(loaded.PopupWhenOk, on) << line;
  }
  // The alert channels and the host in front likewise: keys only while set.
  for (const auto& [field, key] : {std::pair(&HostRecord::AlertChannels, "AlertChannels"),
                                   std::pair(&HostRecord::DependsOn, "DependsOn")}) {
    host.*field = "Mail,Team chat";
    Save(host);
    EXPECT_EQ(ReadFile(file), kGatewaySection + std::string(key) + "=Mail,Team chat\n");
    HostRecord loaded;
    ASSERT_EQ(LoadHostSettings(loaded, "gateway", file), 0);
    EXPECT_EQ(loaded.*field, "Mail,Team chat");
    host.*field = "";
    ASSERT_TRUE(SaveHostEdit(loaded, host, file).ok());
    EXPECT_EQ(ReadFile(file), kGatewaySection);
  }
}

// Quality rules: keys only while a rule is on; a hand-edited absurd value
// is brought within the limits, never wrapped round or trusted.
TEST_F(HostSettings, QualityRulesAreKeysOnlyWhileOnAndAbsurdValuesAreTamed) {
  HostRecord host = Gateway();
  host.Quality = {50, 400, 0, 30};
  Save(host);
  EXPECT_EQ(ReadFile(file),
            kGatewaySection + std::string("QualityProbes=50\nSlowAboveMs=400\nJitterAboveMs=30\n"));
  HostRecord loaded;
  ASSERT_EQ(LoadHostSettings(loaded, "gateway", file), 0);
  EXPECT_EQ(loaded.Quality, host.Quality);
  host.Quality = {};
  ASSERT_TRUE(SaveHostEdit(loaded, host, file).ok());
  EXPECT_EQ(ReadFile(file), kGatewaySection);
  const std::pair<const char*, QualityRules> edits[] = {
      {"QualityProbes=1\nSlowAboveMs=400\n", {2, 400, 0, 0}},
      {"QualityProbes=-5\nLossAbovePercent=150\nJitterAboveMs=20\n", {1000, 0, 0, 20}},
      {"QualityProbes=99999999999\nSlowAboveMs=-1\nLossAbovePercent=abc\n", {1000, 0, 0, 0}},
  };
  for (const auto& [lines, expected] : edits) {
    WriteFile(file, kGatewaySection + std::string(lines));
    ASSERT_EQ(LoadHostSettings(loaded, "gateway", file), 0);
    EXPECT_EQ(loaded.Quality, expected) << lines;
  }
}

// A rename or delete of the host in front rewrites the key of every host
// behind it in one save.
TEST_F(HostSettings, DependenciesAreSavedTogether) {
  HostRecord host = Gateway();
  HostRecord other = Gateway("other");
  other.DependsOn = "core";
  Save(host);
  Save(other);
  host.DependsOn = "core2";
  other.DependsOn.clear();
  ASSERT_TRUE(SaveDependencies({&host, &other}, file).ok());
  EXPECT_EQ(ReadFile(file),
            kGatewaySection + std::string("DependsOn=core2\n") +
                std::regex_replace(kGatewaySection, std::regex("gateway"), "other"));
}

// An import's save can be called off part way, and its sections removed again
// in one save: either way the file is back as it was, byte for byte, the
// hand-written text between and after the sections too.
TEST_F(HostSettings, ACancelledOrUndoneImportLeavesTheFileAsItWas) {
  const std::string before = "; mine\r\n[keep]\r\nHost=keep\r\n\r\n[Other]\r\nHost=Other\r\n";
  std::vector<HostRecord> hosts(2 * kSaveProgressStep + 1, Gateway());
  std::vector<const HostRecord*> added;
  std::vector<std::string> sections;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    hosts[i].Host = "h" + std::to_string(i);
    added.push_back(&hosts[i]);
    sections.push_back(hosts[i].Host);
  }
  WriteFile(file, before);
  std::vector<std::size_t> heard;
  const auto cancelAtSecond = [&](std::size_t set) {
    heard.push_back(set);
    return heard.size() < 2;
  };
  ASSERT_TRUE(SaveHostSettings(added, file, nullptr, cancelAtSecond).ok());
  EXPECT_EQ(heard, (std::vector<std::size_t>{0, kSaveProgressStep}));
  EXPECT_EQ(ReadFile(file), before);
  ASSERT_TRUE(SaveHostSettings(added, file, nullptr, [](std::size_t) { return true; }).ok());
  EXPECT_EQ(Loaded().size(), hosts.size() + 2);
  // A second section of an imported name, and a name spelt otherwise, go too:
  // neither may come to count once the first is gone.
  WriteFile(file, ReadFile(file) + "[H1]\r\nHost=again\r\n");
  ASSERT_TRUE(RemoveHostSections(sections, file).ok());
  EXPECT_EQ(ReadFile(file), before);
}

TEST_F(HostSettings, MissingKeysTakeDefaultsAndLongTextsAreCut) {
  WriteFile(file, "[h]\nHost='h'\nPopupMessage=\"\"\nDescription=" + std::string(1500, 'd') + "\n");
  HostRecord loaded;
  loaded.PopupMessage = "kept";
  ASSERT_EQ(LoadHostSettings(loaded, "h", file), 0);
  HostRecord expected = Gateway("h");
  expected.PopupMessage = "kept";
  expected.Description = std::string(1023, 'd');
  EXPECT_EQ(Settings(loaded), Settings(expected));
}

TEST_F(HostSettings, NamesWithLineBreaksAreWrittenAsBlanksAndStillFound) {
  HostRecord host = Gateway("evil\n[gateway]\nHost=x");
  host.Description = "two\r\nlines";
  Save(Gateway());
  Save(host);
  FakeHostRows rows;
  ASSERT_TRUE(LoadHostList(rows, file).ok());
  ASSERT_EQ(rows.RowCount(), 2);
  EXPECT_EQ(rows.RecordAt(0).Description, "Router");
  EXPECT_EQ(rows.RecordAt(1).Host, "evil [gateway] Host=x");
  EXPECT_EQ(rows.RecordAt(1).Description, "two lines");
  EXPECT_EQ(ReadFile(file).find("\n[gateway]\nHost=x"), std::string::npos) << "no injected lines";
  Empty(host.Host);
  EXPECT_EQ(Loaded(), Hosts{"gateway"});
}

// A deleted working directory (getcwd fails) loads nothing and every save
// says it failed.
TEST_F(HostSettings, DefaultFileLiesInTheCurrentDirectoryEvenOnceItIsGone) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses to remove a process's current directory";
#endif
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string path = HostSettingsPath();
  const FileResult saved = SaveHostSettings(Gateway(), "gateway", path);
  const std::filesystem::path gone = dir.path() / "gone";
  std::filesystem::create_directory(gone);
  std::filesystem::current_path(gone);
  std::filesystem::remove(gone);
  const std::string orphan = HostSettingsPath();
  FakeHostRows rows;
  const bool loaded = LoadHostList(rows, orphan).ok();
  const FileResult orphanSave = SaveHostSettings(Gateway(), "gateway", orphan);
  std::filesystem::current_path(previous);
  ASSERT_TRUE(saved.ok()) << saved.error;
  EXPECT_EQ(path, dir.File("KELVORAN.INI"));
  EXPECT_EQ(ReadFile(path), kGatewaySection);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(rows.RowCount(), 0);
  EXPECT_FALSE(orphanSave.ok());
}

// A writer killed between writing its temporary file and renaming it leaves
// the file behind; the next save removes those of writers that are gone, and
// nothing else.
TEST_F(HostSettings, NextSaveRemovesTheTemporaryFilesOfWritersThatAreGone) {
  // A writer that cannot save (no such folder) ends at once.
  testing::WriterProcess writer(dir.File("none/KELVORAN.INI"), 0);
  ASSERT_TRUE(writer.started());
  writer.Kill();
  const std::string gone = std::to_string(writer.id());
#ifdef _WIN32
  const std::string live = std::to_string(GetCurrentProcessId());
#else
  const std::string live = std::to_string(::getpid());
#endif
  const auto beside = [&](const std::string& name) { return dir.path() / name; };
  const std::filesystem::path leftover = beside(".KELVORAN.INI." + gone + "-7.tmp");
  const std::filesystem::path kept[] = {
      beside(".KELVORAN.INI." + live + "-0.tmp"),  // a live writer's
      beside(".OTHER.INI." + gone + "-7.tmp"),     // another file's
      beside(".KELVORAN.INI." + gone + "-7.tmp~"), beside(".KELVORAN.INI.x-7.tmp")};
  std::ofstream{leftover};
  for (const auto& path : kept) std::ofstream{path};
  Save(Gateway());
  EXPECT_FALSE(std::filesystem::exists(leftover));
  for (const auto& path : kept) EXPECT_TRUE(std::filesystem::exists(path)) << path;
}

}  // namespace
}  // namespace kelvoran
