#include "engine/host_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/host_record.h"
#include "fake_host_rows.h"
#include "settings_files.h"

namespace kelvoran {
namespace {

using testing::FakeHostRows;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr char kGatewaySection[] =
    "[gateway]\nHost=gateway\nTimeout=10\nDelay=10\nPacketSize=32\nFailPeriod=60\n"
    "SuccessPeriod=60\nPopupDestination=\nPopupMessage=\nDescription=Router\n";

HostRecord Gateway() {
  HostRecord host;
  host.Host = "gateway";
  host.Timeout = 10;
  host.Delay = 10;
  host.PacketSize = 32;
  host.FailPeriod = 60;
  host.SuccessPeriod = 60;
  host.Description = "Router";
  return host;
}

void ExpectSameSettings(const HostRecord& actual, const HostRecord& expected) {
  EXPECT_EQ(actual.Host, expected.Host);
  EXPECT_EQ(actual.Timeout, expected.Timeout);
  EXPECT_EQ(actual.Delay, expected.Delay);
  EXPECT_EQ(actual.PacketSize, expected.PacketSize);
  EXPECT_EQ(actual.FailPeriod, expected.FailPeriod);
  EXPECT_EQ(actual.SuccessPeriod, expected.SuccessPeriod);
  EXPECT_EQ(actual.PopupDestination, expected.PopupDestination);
  EXPECT_EQ(actual.PopupMessage, expected.PopupMessage);
  EXPECT_EQ(actual.Description, expected.Description);
}

class HostSettings : public ::testing::Test {
 protected:
  void Save(const HostRecord& host) { ASSERT_TRUE(SaveHostSettings(host, host.Host, file).ok()); }
  void Empty(const std::string& section) { ASSERT_TRUE(EmptyHostSection(section, file).ok()); }
  std::vector<std::string> LoadedHosts() {
    FakeHostRows rows;
    EXPECT_TRUE(LoadHostList(rows, file).ok());
    std::vector<std::string> hosts;
    for (int row = 0; row < rows.RowCount(); ++row) hosts.push_back(rows.RecordAt(row).Host);
    return hosts;
  }

  TempDir dir;
  std::string file = dir.File();
};

TEST_F(HostSettings, ExampleHostIsWrittenByteForByte) {
  Save(Gateway());
  EXPECT_EQ(ReadFile(file), kGatewaySection);
}

TEST_F(HostSettings, EverySettingReadsBackAsWritten) {
  HostRecord extreme;
  extreme.Host = "10.0.0.1";
  extreme.Timeout = INT32_MIN;
  extreme.Delay = -1;
  extreme.PacketSize = 4294967295u;
  extreme.FailPeriod = INT32_MAX;
  extreme.SuccessPeriod = 0;
  extreme.PopupDestination = "ops, desk";
  extreme.PopupMessage = "down = bad; [really]";
  extreme.Description = "caf\xE9 \x80\xFF";
  Save(extreme);
  HostRecord emptyTexts = Gateway();
  emptyTexts.Host = "bare";
  emptyTexts.Description.clear();
  Save(emptyTexts);

  for (const HostRecord* expected : {&extreme, &emptyTexts}) {
    HostRecord loaded;
    EXPECT_EQ(LoadHostSettings(loaded, expected->Host, file), 0);
    ExpectSameSettings(loaded, *expected);
  }
}

TEST_F(HostSettings, EditWithoutChangeRewritesTheSectionInTheWritersOrder) {
  WriteFile(file,
            "[gateway]\n; my router\nDescription=Router\nFoo=bar\nHost=gateway\n"
            "SuccessPeriod=60\n\n[other]\nHost=other\n");
  HostRecord host;
  ASSERT_EQ(LoadHostSettings(host, "gateway", file), 0);
  const std::string expected = std::string(kGatewaySection) + "\n[other]\nHost=other\n";
  const std::string original = ReadFile(file);
  Empty(host.Host);
  Save(host);
  EXPECT_EQ(ReadFile(file), expected);

  // The edit command's single replacement reaches the same end state.
  WriteFile(file, original);
  ASSERT_TRUE(RewriteHostSection(host, file).ok());
  EXPECT_EQ(ReadFile(file), expected);
}

TEST_F(HostSettings, RenameLeavesTheOldSectionEmptyAndLoadsTheHostOnce) {
  HostRecord host = Gateway();
  host.Host = "a";
  Save(host);
  Empty("a");
  host.Host = "b";
  Save(host);
  EXPECT_EQ(ReadFile(file).substr(0, 8), "[a]\n[b]\n");
  EXPECT_EQ(LoadedHosts(), std::vector<std::string>{"b"});
}

TEST_F(HostSettings, NamesDifferingInCaseShareOneSection) {
  HostRecord lower = Gateway();
  HostRecord upper = Gateway();
  upper.Host = "GATEWAY";
  upper.Delay = 99;
  Save(lower);
  Save(upper);
  EXPECT_EQ(LoadedHosts(), std::vector<std::string>{"GATEWAY"});
  Empty("gateway");
  EXPECT_TRUE(LoadedHosts().empty());
}

TEST_F(HostSettings, SectionsWithoutHostAreSkippedAndLeftUntouched) {
  const std::string text =
      "[first]\nHost=first\n[nohost]\nDelay=5\n[emptyhost]\nHost=\n[quoted]\nHost=\"\"\n"
      "[hand written]\nHost=real\n";
  WriteFile(file, text);
  FakeHostRows rows;
  ASSERT_TRUE(LoadHostList(rows, file).ok());
  ASSERT_EQ(rows.RowCount(), 2);
  EXPECT_EQ(rows.RecordAt(1).Host, "real");
  EXPECT_EQ(rows.RecordAt(1).HostId - rows.RecordAt(0).HostId, 4) << "skipped records use ids";
  EXPECT_EQ(rows.formattedRows, (std::vector<int>{0, 1}));
  EXPECT_EQ(ReadFile(file), text);
}

TEST_F(HostSettings, MissingKeysTakeDefaultsAndLongTextsAreCut) {
  WriteFile(file, "[h]\nHost='h'\nPopupMessage=\"\"\nDescription=" + std::string(1500, 'd') + "\n");
  HostRecord loaded;
  loaded.PopupMessage = "kept";
  ASSERT_EQ(LoadHostSettings(loaded, "h", file), 0);
  HostRecord expected = Gateway();
  expected.Host = "h";
  expected.PopupMessage = "kept";
  expected.Description = std::string(1023, 'd');
  ExpectSameSettings(loaded, expected);
}

TEST_F(HostSettings, OnlySectionsWhoseNamesFitTheListAreLoaded) {
  // 20-byte names: 19 characters and a zero; 511 fit in 10240 bytes with the
  // final zero, the 512th would need one byte more.
  std::string text = "[]\nHost=empty name ends no list\n";
  for (int i = 0; i < 600; ++i) {
    const std::string name =
        "host-" + std::string(10 - std::to_string(i).size(), '0') + std::to_string(i) + "abcd";
    text += "[" + name + "]\nHost=" + name + "\n";
  }
  WriteFile(file, text);
  const auto hosts = LoadedHosts();
  ASSERT_EQ(hosts.size(), 511u);
  EXPECT_EQ(hosts.back(), "host-0000000510abcd");
}

TEST_F(HostSettings, NamesWithLineBreaksAreWrittenAsBlanksAndStillFound) {
  HostRecord host = Gateway();
  host.Host = "evil\n[gateway]\nHost=x";
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
  EXPECT_EQ(LoadedHosts(), std::vector<std::string>{"gateway"});
}

TEST_F(HostSettings, DefaultFileNameLiesInTheCurrentDirectory) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const FileResult saved = SaveHostSettings(Gateway(), "gateway", kHostSettingsFile);
  std::filesystem::current_path(previous);
  ASSERT_TRUE(saved.ok()) << saved.error;
  EXPECT_EQ(ReadFile(dir.File("KELVORAN.INI")), kGatewaySection);
}

}  // namespace
}  // namespace kelvoran
