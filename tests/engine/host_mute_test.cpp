#include "engine/host_mute.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../settings/temp_dir.h"
#include "engine/accounting.h"
#include "engine/host_columns.h"
#include "engine/host_dependencies.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

constexpr CalendarTime kMinute = 60;
// 2026-12-08 12:00 UTC; the tests' local time is UTC.
constexpr CalendarTime kStart = 1796731200;

// A host "h" behind a router "r", monitored a minute a tick over a fake
// clock, the dependencies' hold in front of the mute as in the program, and
// what reaches the senders written as StandInSenders does.
struct Monitor {
  explicit Monitor(CalendarTime start = kStart)
      : now(start), mutes([this] { return now; }, [](CalendarTime) { return 0; }) {
    dependencies.Attach(rows);
    mutes.Attach(rows);
    senders = dependencies.Guard(mutes.Guard(testing::StandInSenders(sent, why)));
  }
  HostRecord& Add(const std::string& name, const std::string& dependsOn = {}) {
    HostRecord& host = testing::AddMonitoredHost(rows, name, dependsOn);
    dependencies.ListChanged();
    mutes.Changed();
    return host;
  }
  HostRecord& Host(const std::string& name) {
    for (int row = 0; row < rows.RowCount(); ++row)
      if (rows.RecordAt(row).Host == name) return rows.RecordAt(row);
    ADD_FAILURE() << name;
    return rows.RecordAt(0);
  }
  void Result(const std::string& name, bool reply) {
    HostRecord& host = Host(name);
    const int row = rows.FindRowByHostId(host.HostId);
    ProbeJob job;
    host.MakeProbeJob(job);
    job.Result.StartTime = now;
    job.Result.ResultCode = reply ? ResultSuccess : ResultNoReply;
    const std::int32_t before = host.Status;
    ApplyResult(rows, row, job, senders);
    dependencies.ResultApplied(host, job.Result, before);
  }
  // One step of a script: "-" / "+" the host fails / replies, "r-" / "r+"
  // the router; "." a tick with no result; "M<n>" mutes the host for n
  // minutes, "Mu" until unmuted, "L<n>" the list, "U" / "UL" unmute. Every
  // step but a mute is a tick, a minute after the last.
  void Step(const std::string& step) {
    const char what = step[0];
    if (what == 'M' || what == 'L') {
      const CalendarTime until =
          step == "Mu" ? kMutedUntilUnmuted : now + std::stoi(step.substr(1)) * kMinute;
      if (what == 'M')
        Host("h").MutedUntil = until;
      else
        mutes.MuteList(until);
      mutes.Changed();
      return;
    }
    now += kMinute;
    if (step == "U") Host("h").MutedUntil = 0;
    if (step == "UL") mutes.MuteList(0);
    mutes.Changed();
    if (what == '-' || what == '+') Result("h", what == '+');
    if (what == 'r') Result("r", step[1] == '+');
    dependencies.TickEnded();
    mutes.TickEnded();
  }

  testing::FakeHostRows rows;
  CalendarTime now;
  HostDependencies dependencies;
  HostMutes mutes;
  PopupSenders senders;
  std::map<std::string, std::string> sent;
  std::string why;
};

struct Script {
  const char* name;
  std::vector<std::string> steps;
  const char* sent;
  const char* why;
};

const Script kScripts[] = {
    {"not muted", {"-", "+"}, "vp^k", ""},
    {"down and up inside the mute", {"M15", "-", ".", "+"}, "hH", "muted until 12:15"},
    {"still down when the mute ends",
     {"M3", "-", ".", ".", ".", "+"},
     "hvp^k",
     "muted until 12:03"},
    {"mute over before the outage", {"M1", ".", "-", "+"}, "vp^k", ""},
    {"muted after the down was sent", {"-", "M60", "+"}, "vpH", "muted until 13:01"},
    {"until unmuted, unmuted while down",
     {"Mu", "-", ".", "U", "+"},
     "hvp^k",
     "muted until unmuted"},
    {"until unmuted, up before", {"Mu", "-", "+", "U", "-"}, "hHvp", "muted until unmuted"},
    {"whole list", {"L15", "-", "+"}, "hH", "list muted until 12:15"},
    {"whole list unmuted while down", {"L15", "-", "UL", "+"}, "hvp^k", "list muted until 12:15"},
    {"host's mute outlasts the list's", {"L5", "M1500", "-"}, "h", "muted until 2026-12-09 13:00"},
    {"held behind the router, then by the mute",
     {"M5", "r-", "-", "r+", "-", ".", ".", "."},
     "hvp",
     "muted until 12:05"},
};

TEST(HostMute, HoldsWhatTheScriptsSay) {
  for (const Script& script : kScripts) {
    SCOPED_TRACE(script.name);
    Monitor m;
    m.Add("r");
    m.Add("h", "r");
    for (const std::string& step : script.steps) m.Step(step);
    EXPECT_EQ(m.sent["h"], script.sent);
    EXPECT_EQ(m.why, script.why);
    // Status and counters go on as ever.
    EXPECT_EQ(m.Host("h").FailedCount + m.Host("h").ReceivedCount, m.Host("h").SentCount);
  }
}

TEST(HostMute, RowShowsTheMuteUntilItEnds) {
  Monitor m;
  m.Add("h");
  m.Step("M2");
  m.Step(".");
  EXPECT_EQ(m.Host("h").MuteNote, "muted until 12:02");
  EXPECT_EQ(HostColumnAt(ColumnError).text(m.Host("h")), "muted until 12:02");
  m.Step(".");
  EXPECT_EQ(m.Host("h").MuteNote, "");
}

// Mutes are saved, the program stops, and a new one reads the file: the
// mute still running holds, the one whose time passed while stopped is over.
TEST(HostMute, KeptAcrossARestart) {
  testing::TempDir dir;
  const std::string file = dir.File();
  {
    HostRecord shortMute, longMute, forever;
    shortMute.Host = "short";
    shortMute.MutedUntil = kStart + 5 * kMinute;
    longMute.Host = "long";
    longMute.MutedUntil = kStart + 60 * kMinute;
    forever.Host = "forever";
    ASSERT_TRUE(SaveHostSettings({&shortMute, &longMute, &forever}, file).ok());
    forever.Section = "forever";
    forever.MutedUntil = kMutedUntilUnmuted;
    ASSERT_TRUE(SaveHostMutes({&forever}, file).ok());
    ASSERT_TRUE(SaveListMute(kStart + 30 * kMinute, file).ok());
  }
  EXPECT_NE(testing::ReadFile(file).find("MutedUntil=never"), std::string::npos);

  // Restarted ten minutes later.
  Monitor m(kStart + 10 * kMinute);
  ASSERT_TRUE(LoadHostList(m.rows, file).ok());
  ASSERT_EQ(m.rows.RowCount(), 3);
  m.mutes.MuteList(ReadListMute(file));
  for (const char* host : {"short", "long", "forever"}) {
    m.Host(host).Status = StatusOk;
    m.Host(host).FailPeriod = 0;
    m.Result(host, false);
  }
  m.mutes.TickEnded();
  EXPECT_EQ(m.sent["short"], "h");
  EXPECT_EQ(m.why, "muted until unmuted");
  EXPECT_EQ(m.Host("short").MuteNote, "list muted until 12:30");
  EXPECT_EQ(m.Host("long").MuteNote, "muted until 13:00");

  // Unmuted everywhere and restarted again after the list's mute ran out.
  ASSERT_TRUE(SaveListMute(0, file).ok());
  m.Host("forever").MutedUntil = 0;
  ASSERT_TRUE(SaveHostMutes({&m.Host("forever")}, file).ok());
  Monitor later(kStart + 61 * kMinute);
  ASSERT_TRUE(LoadHostList(later.rows, file).ok());
  later.mutes.MuteList(ReadListMute(file));
  EXPECT_EQ(later.mutes.ListMutedUntil(), 0);
  for (const char* host : {"short", "long", "forever"}) {
    later.Host(host).Status = StatusOk;
    later.Host(host).FailPeriod = 0;
    later.Result(host, false);
    EXPECT_EQ(later.sent[host], "vp") << host;
  }
  EXPECT_EQ(testing::ReadFile(file).find("never"), std::string::npos);
}

TEST(HostMute, DamagedFileValuesMuteNothing) {
  for (const char* text :
       {"", "soon", "-5", "12abc", "99999999999999999999999", "9223372036854775806"})
    EXPECT_EQ(ParseMutedUntil(text), 0) << text;
  EXPECT_EQ(ParseMutedUntil(MutedUntilText(kStart)), kStart);
  EXPECT_EQ(ParseMutedUntil(MutedUntilText(kMutedUntilUnmuted)), kMutedUntilUnmuted);
}

}  // namespace
}  // namespace kelvoran
