// The headless program's own logic: its command line, its log file started
// afresh on real files, the desktop profile's text read without the toolkit
// that writes it, and the host list read again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/host_record.h"
#include "headless/command_line.h"
#include "headless/plain_host_rows.h"
#include "headless/service_log.h"
#include "metrics/metrics_server.h"
#include "portable/desktop_profile_text.h"

namespace kelvoran {
namespace {

using Mode = CommandLine::Mode;

TEST(HeadlessCommandLine, ChoosesTheModeOfEachArgumentList) {
#ifdef _WIN32
  constexpr Mode kServiceMode = Mode::Service;
#else
  constexpr Mode kServiceMode = Mode::Refused;
#endif
  // The Windows build's HTTP server has no TLS, and says so.
  const Mode tlsMode = MetricsServer::TlsBuiltIn() ? Mode::Headless : Mode::Refused;
  const auto temporary = std::filesystem::temp_directory_path();
  const std::string folder = temporary.string();
  const std::string folderOption = "--service-folder=" + folder;
  const std::string missingFolder = (temporary / "kelvoran-no-such-folder").string();
  const struct {
    std::vector<std::string_view> arguments;
    Mode mode;
  } cases[] = {
      {{}, Mode::Window},
      // The window ignores what it does not know, as it always did.
      {{"--something"}, Mode::Window},
      {{"--headless"}, Mode::Headless},
      {{"--headless", "--headless"}, Mode::Headless},
      {{"--help"}, Mode::Help},
      {{"-h"}, Mode::Help},
      {{"--headless", "--help"}, Mode::Help},
      {{"--version"}, Mode::Version},
      {{"--version", "--help"}, Mode::Help},
      {{"--headless", "--version"}, Mode::Version},
      // Without a window a mistyped option is told, not ignored.
      {{"--headless", "--verbose"}, Mode::Refused},
      {{"--headless", "KELVORAN.INI"}, Mode::Refused},
      {{"--Headless"}, Mode::Window},
      // Only Windows' service manager needs the program to answer it; the
      // window never runs as a service.
      {{"--headless", "--service"}, kServiceMode},
      {{"--service", "--headless"}, kServiceMode},
      {{"--headless", "--service", "--verbose"}, Mode::Refused},
      {{"--service"}, Mode::Window},
      // The service's own folder: a full path that is there, with --service.
      {{"--headless", "--service", "--service-folder", folder}, kServiceMode},
      {{"--headless", "--service", folderOption}, kServiceMode},
      {{"--headless", "--service", "--service-folder", "Kelvoran"}, Mode::Refused},
      {{"--headless", "--service", "--service-folder", missingFolder}, Mode::Refused},
      {{"--headless", "--service", "--service-folder"}, Mode::Refused},
      {{"--headless", "--service-folder", folder}, Mode::Refused},
      {{"--headless", "--metrics", "9765"}, Mode::Headless},
      {{"--metrics=[::1]:9765", "--headless"}, Mode::Headless},
      {{"--headless", "--metrics"}, Mode::Refused},
      {{"--headless", "--metrics", "99999"}, Mode::Refused},
      {{"--headless", "--metrics="}, Mode::Refused},
      // Basic auth and TLS: each half of a pair needs the other, and both
      // need --metrics; a hash file that cannot be read is told at once.
      {{"--headless", "--metrics", "9765", "--metrics-tls-cert", "c.pem",
        "--metrics-tls-key=k.pem"},
       tlsMode},
      {{"--headless", "--metrics-tls-cert", "c.pem", "--metrics-tls-key", "k.pem"}, Mode::Refused},
      {{"--headless", "--metrics", "9765", "--metrics-tls-cert", "c.pem"}, Mode::Refused},
      {{"--headless", "--metrics", "9765", "--metrics-user", "prom"}, Mode::Refused},
      {{"--headless", "--metrics", "9765", "--metrics-user", "prom", "--metrics-password-hash-file",
        "/nonexistent/hash"},
       Mode::Refused},
      {{"--headless", "--metrics", "9765", "--metrics-user"}, Mode::Refused},
  };
  for (const auto& each : cases) {
    const CommandLine line = ParseCommandLine(each.arguments);
    std::string shown;
    for (const auto argument : each.arguments) shown += std::string(argument) + " ";
    EXPECT_EQ(line.mode, each.mode) << shown;
    EXPECT_EQ(line.mode == Mode::Refused, !line.problem.empty()) << shown;
  }
  const std::string_view service[] = {"--headless", "--service", folderOption};
  if (kServiceMode == Mode::Service) {
    EXPECT_EQ(ParseCommandLine(service).serviceFolder, folder);
  }
}

std::optional<std::string> FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::optional<std::string>& text) {
  if (text) std::ofstream(path, std::ios::binary) << *text;
}

TEST(ServiceLogFile, StartsAfreshOnceItReachedItsLimitKeepingOnePredecessor) {
  constexpr std::uintmax_t kLimit = 10;
  const struct {
    std::optional<std::string> before, keptBefore;
    std::vector<std::string> writes;
    std::optional<std::string> after, kept;
  } cases[] = {
      {std::nullopt, std::nullopt, {"aaaa", "bbbb"}, "aaaabbbb", std::nullopt},
      // Checked as each write starts: the line that passes the limit stays
      // whole in the old file.
      {std::nullopt, std::nullopt, {"aaaaaa", "bbbbbb", "cc"}, "cc", "aaaaaabbbbbb"},
      {"", std::nullopt, {"aaaaaaaaaa", "b"}, "b", "aaaaaaaaaa"},
      {"012345678", std::nullopt, {"x", "y"}, "y", "012345678x"},
      // Left from the last run: an older kept copy is replaced, and only then.
      {"0123456789AB", "old", {"x"}, "x", "0123456789AB"},
      {"01234", "old", {"x"}, "01234x", "old"},
      // However long it runs, two files at most.
      {std::nullopt, std::nullopt, {"aaaaaaaaaaaa", "bbbbbbbbbbbb", "c"}, "c", "bbbbbbbbbbbb"},
  };
  const auto folder = std::filesystem::temp_directory_path() / "kelvoran-service-log-test";
  const auto path = folder / "KELVORAN.LOG";
  const auto keptPath = folder / "KELVORAN.LOG.1";
  for (const auto& each : cases) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    WriteFile(path, each.before);
    WriteFile(keptPath, each.keptBefore);
    {
      LogFile log(path, kLimit);
      ASSERT_TRUE(log.IsOpen());
      for (const auto& text : each.writes) log.Write(text);
    }
    const std::string shown = each.before.value_or("(none)") + " + " + each.writes.front();
    EXPECT_EQ(FileText(path), each.after) << shown;
    EXPECT_EQ(FileText(keptPath), each.kept) << shown;
  }
  std::filesystem::remove_all(folder);
}

TEST(DesktopProfileText, ReadsWhatTheToolkitWrites) {
  const struct {
    const char* text;
    ProfileEntries entries;
  } cases[] = {
      {"", {}},
      {"Root=1\n[Options]\nProbesPerSecond=5\n", {{"Root", "1"}, {"Options/ProbesPerSecond", "5"}}},
      // Nested groups stand under their full path; CRLF line ends.
      {"[AlertChannels/1]\r\nName=ops mail\r\nKind=email\r\n",
       {{"AlertChannels/1/Name", "ops mail"}, {"AlertChannels/1/Kind", "email"}}},
      // Blanks before a key and around '=' go; those after a value stay.
      {"[G]\n  Key  =  value  \n", {{"G/Key", "value  "}}},
      // A quoted value keeps its leading blanks; escapes in values.
      {"[G]\nA=\"  lead\"\nB=line\\none\\ttab\\\\back\nC=\"say \\\"hi\\\"\"\n",
       {{"G/A", "  lead"}, {"G/B", "line\none\ttab\\back"}, {"G/C", "say \"hi\""}}},
      // Escaped names: a blank, '=' and ']' inside names.
      {"[AlertChannels/my\\ group\\]]\nodd\\=key=v\n", {{"AlertChannels/my group]/odd=key", "v"}}},
      // Comments and broken lines are skipped; a '$' is not expanded.
      {"; comment\n# another\n[G]\nno equals sign\n=nokey\n[broken\nK=$HOME\n", {{"G/K", "$HOME"}}},
      // An unknown escape is dropped whole, a trailing backslash too.
      {"[G]\nA=a\\qb\nB=end\\\n", {{"G/A", "ab"}, {"G/B", "end"}}},
  };
  for (const auto& each : cases)
    EXPECT_EQ(ParseDesktopProfile(each.text), each.entries) << each.text;
}

TEST(DesktopProfileText, TakesTheEntriesBelowAGroup) {
  const ProfileEntries entries = {{"AlertChannels/1/Name", "a"},
                                  {"AlertChannels/2/Kind", "sound"},
                                  {"AlertChannelsOld/1/Name", "x"},
                                  {"Options/ProbesPerSecond", "3"}};
  EXPECT_EQ(EntriesBelow(entries, "AlertChannels"),
            (ProfileEntries{{"1/Name", "a"}, {"2/Kind", "sound"}}));
}

std::unique_ptr<HostRecord> Host(const std::string& name, std::int32_t delay = 10) {
  auto record = std::make_unique<HostRecord>();
  record->Host = name;
  record->Section = name;
  record->Delay = delay;
  return record;
}

TEST(PlainHostRows, ReadingTheListAgainKeepsTheResultsOfHostsStillThere) {
  PlainHostRows rows;
  std::vector<std::unique_ptr<HostRecord>> first;
  for (const char* name : {"b.test", "gone.test", "a.test"}) first.push_back(Host(name));
  rows.AddRows(std::move(first));
  ASSERT_EQ(rows.RecordAt(0).Host, "a.test");
  ASSERT_EQ(rows.RecordAt(2).Host, "gone.test");
  const std::int32_t keptId = rows.RecordAt(1).HostId;
  rows.RecordAt(1).SentCount = 7;
  rows.RecordAt(1).Status = StatusError;

  std::vector<std::unique_ptr<HostRecord>> loaded;
  loaded.push_back(Host("new.test"));
  loaded.push_back(Host("B.TEST", 30));  // the same section, by the file's rule
  loaded.push_back(Host("a.test"));
  const auto counts = rows.Reload(std::move(loaded));

  EXPECT_EQ(counts.added, 1u);
  EXPECT_EQ(counts.removed, 1u);
  EXPECT_EQ(counts.kept, 2u);
  ASSERT_EQ(rows.RowCount(), 3);
  EXPECT_EQ(rows.FindRowByHostId(keptId), 1);
  const HostRecord& kept = rows.RecordAt(rows.FindRowByHostId(keptId));
  EXPECT_EQ(kept.SentCount, 7u);
  EXPECT_EQ(kept.Status, StatusError);
  EXPECT_EQ(kept.Delay, 30);
  EXPECT_EQ(rows.RecordAt(2).Host, "new.test");
}

}  // namespace
}  // namespace kelvoran
