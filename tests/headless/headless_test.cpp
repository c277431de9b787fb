// The headless program's own logic: its command line, the desktop profile's
// text read without the toolkit that writes it, and the host list read again.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "engine/host_record.h"
#include "headless/command_line.h"
#include "headless/plain_host_rows.h"
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
  rows.AddRow(Host("b.test"));
  rows.AddRow(Host("a.test"));
  rows.AddRow(Host("gone.test"));
  ASSERT_EQ(rows.RecordAt(0).Host, "a.test");
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
