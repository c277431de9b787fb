#include "history/csv_export.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../settings/temp_dir.h"
#include "engine/host_record.h"
#include "platform/local_time.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kelvoran {
namespace {

TEST(CsvExport, FieldsAreQuotedOnlyWhenTheyMustBe) {
  const std::pair<const char*, const char*> table[] = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
  };
  for (const auto& [text, field] : table) EXPECT_EQ(CsvField(text), field) << text;
  std::ostringstream out;
  WriteCsvRecord(out, {"a", "", "b c"});
  EXPECT_EQ(out.str(), "a,,b c\r\n");
}

TEST(CsvExport, IsoTimesCarryTheOffsetInForceAskedOncePerQuarterHour) {
  std::vector<std::int64_t> asked;
  // Summer time from 1 h in: the offset moves from +01:00 to +02:00.
  IsoTimeWriter write([&](std::int64_t seconds) {
    asked.push_back(seconds);
    return seconds < 3600 ? 3600 : 7200;
  });
  EXPECT_EQ(write(0), "1970-01-01T01:00:00.000+01:00");
  EXPECT_EQ(write(899'999), "1970-01-01T01:14:59.999+01:00");
  EXPECT_EQ(write(3'600'250), "1970-01-01T03:00:00.250+02:00");
  EXPECT_EQ(asked, (std::vector<std::int64_t>{0, 3600}));

  IsoTimeWriter west([](std::int64_t) { return -(5 * 3600 + 30 * 60); });
  EXPECT_EQ(west(-1), "1969-12-31T18:29:59.999-05:30");
  EXPECT_EQ(west(1'798'761'600'000), "2026-12-31T18:30:00.000-05:30");
}

// The proposed name of an export is one every system takes: each comes out
// as expected and can be created here.
TEST(CsvExport, ProposedFileNamesAreValidOnEverySystem) {
  const std::pair<const char*, const char*> table[] = {
      {"::1 history.csv", "__1 history.csv"},
      {"fe80::1%eth0 history.csv", "fe80__1%eth0 history.csv"},
      {R"(a<b>c"d/e\f|g?h*i.csv)", "a_b_c_d_e_f_g_h_i.csv"},
      {"tab\there\x1F\x7F.csv", "tab_here__.csv"},
      {"caf\xC3\xA9 [192.0.2.1] history.csv", "caf\xC3\xA9 [192.0.2.1] history.csv"},
  };
  const testing::TempDir folder;
  for (const auto& [name, expected] : table) {
    const std::string portable = PortableFileName(name);
    EXPECT_EQ(portable, expected);
    const std::filesystem::path file =
        folder.path() / std::u8string(portable.begin(), portable.end());
    EXPECT_TRUE(std::ofstream(file).is_open()) << portable;
  }
}

// Windows' spreadsheet programs read a table as UTF-8 only after the
// byte-order mark, and the host names there are in the ANSI code page; on
// Linux the bytes pass as they are.
TEST(CsvExport, TablesAreWrittenAsThisSystemsSpreadsheetsReadThem) {
  std::ostringstream out;
  const LoggedChange change{{5000, "caf\xE9", StatusOk, StatusError, "d\xFCn"}, std::nullopt};
  WriteChangesCsv(out, {&change, 1}, [](HistoryTime ms) { return std::to_string(ms); });
  const std::string header = "Time,Host,From,To,Lasted (s),Cause\r\n";
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  EXPECT_EQ(out.str(), "\xEF\xBB\xBF" + header + "5000,caf\xC3\xA9,OK,ERROR,,d\xC3\xBCn\r\n");
#else
  EXPECT_EQ(out.str(), header + "5000,caf\xE9,OK,ERROR,,d\xFCn\r\n");
#endif
}

#ifndef _WIN32
TEST(CsvExport, LocalOffsetFollowsTheZoneRulesOfTheSystem) {
  // A POSIX zone rule needs no zone files: Central European, summer time
  // from the last Sunday of March to the last of October.
  const char* saved = std::getenv("TZ");
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  EXPECT_EQ(LocalUtcOffset(1'768'435'200), 3600);  // 2026-01-15
  EXPECT_EQ(LocalUtcOffset(1'784'073'600), 7200);  // 2026-07-15
  saved ? setenv("TZ", saved, 1) : unsetenv("TZ");
  tzset();
}

#endif

}  // namespace
}  // namespace kelvoran
