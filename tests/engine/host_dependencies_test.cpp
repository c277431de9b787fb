#include "engine/host_dependencies.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../settings/temp_dir.h"
#include "engine/accounting.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

// A list monitored tick by tick with simulated results, the hold in front of
// stand-in senders that count what reaches them per host: "v" down alert,
// "^" OK-again alert, "p" popup, "k" OK-again popup.
struct Monitor {
  Monitor() {
    dependencies.Attach(rows);
    senders = dependencies.Guard(testing::StandInSenders(sent, why));
  }
  HostRecord& Add(const std::string& name, const std::string& dependsOn = {}) {
    HostRecord& host = testing::AddMonitoredHost(rows, name, dependsOn);
    dependencies.ListChanged();
    return host;
  }
  // One tick: the results of the named hosts in the order given ("+name" a
  // reply, "-name" none), probes started `startedAgo` seconds before the
  // tick, then the tick's end.
  void Tick(const std::vector<std::string>& results, CalendarTime startedAgo = 0) {
    ++now;
    for (const std::string& result : results) {
      const int row = Row(result.substr(1));
      HostRecord& host = rows.RecordAt(row);
      ProbeJob job;
      host.MakeProbeJob(job);
      job.Result.StartTime = now - startedAgo;
      job.Result.ResultCode = result[0] == '+' ? ResultSuccess : ResultNoReply;
      const std::int32_t before = host.Status;
      ApplyResult(rows, row, job, senders);
      dependencies.ResultApplied(host, job.Result, before);
    }
    dependencies.TickEnded();
  }
  int Row(const std::string& name) {
    for (int row = 0; row < rows.RowCount(); ++row)
      if (rows.RecordAt(row).Host == name) return row;
    ADD_FAILURE() << name;
    return 0;
  }
  HostRecord& operator[](const std::string& name) { return rows.RecordAt(Row(name)); }
  std::vector<std::string> Notices() {
    std::vector<std::string> notices;
    while (const auto notice = dependencies.TakeNotice()) notices.push_back(*notice);
    return notices;
  }

  CalendarTime now = 1000;
  testing::FakeHostRows rows;
  HostDependencies dependencies{[this] { return now; }};
  PopupSenders senders;
  std::map<std::string, std::string> sent;
  std::string why;
};

// A router with fifty hosts behind it. Each step is one tick: "R" the router's
// result, "D" the fifty hosts' results, "-" no reply and "+" a reply, in the
// order they are applied within the tick. Then what one of the fifty and the
// router sent, and how many of the fifty sent the same.
struct Order {
  const char* name;
  std::vector<const char*> ticks;
  const char* host;
  const char* router;
};

const Order kOrders[] = {
    {"router first, hosts recover first", {"R-", "D-", "D+", "R+"}, "", "vp^k"},
    {"router first, router recovers first", {"R-", "D-", "R+", "D+"}, "", "vp^k"},
    {"router back, hosts still down", {"R-", "D-", "R+", "D-", "D+"}, "vp^k", "vp^k"},
    {"router back, hosts' failure in its tick", {"R-", "D-", "R+D-", "D+"}, "", "vp^k"},
    {"router back and down again", {"R-", "D-", "R+", "R-", "D-", "R+", "D+"}, "", "vp^kvp^k"},
    {"router first, both in one tick", {"R-", "D-", "R+D+"}, "", "vp^k"},
    {"router down in the hosts' tick, after them", {"D-R-", "R+D+"}, "", "vp^k"},
    {"router down in the hosts' tick, before them", {"R-D-", "D+R+"}, "", "vp^k"},
    {"hosts first, router down at its next probe", {"D-", "R-", "R+", "D+"}, "", "vp^k"},
    {"hosts first, back first", {"D-", "R-", "D+", "R+"}, "", "vp^k"},
    {"hosts first, router seen up", {"D-", "R+", "D+"}, "vp^k", ""},
    {"router alone", {"R-", "R+"}, "", "vp^k"},
    {"hosts alone, the wait runs out", {"D-", "D-", "D-", "D+"}, "vp^k", ""},
    {"hosts back before the router is seen", {"D-", "D+"}, "v^", ""},
    {"held, back and down again", {"R-", "D-", "D+", "D-", "R+", "D-", "D+"}, "vp^k", "vp^k"},
};

void RunOrder(const Order& order) {
  SCOPED_TRACE(order.name);
  Monitor m;
  m.Add("router");
  std::vector<std::string> down, up;
  for (int i = 0; i < 50; ++i) {
    const std::string name = "host" + std::to_string(i);
    m.Add(name, i % 2 ? "ROUTER" : "router");  // names compare as the file's do
    down.push_back("-" + name);
    up.push_back("+" + name);
  }
  for (const std::string tick : order.ticks) {
    std::vector<std::string> results;
    for (std::size_t at = 0; at < tick.size(); at += 2) {
      const std::string sign(1, tick[at + 1]);
      if (tick[at] == 'R') results.push_back(sign + "router");
      for (std::size_t i = 0; tick[at] == 'D' && i < down.size(); ++i)
        results.push_back(sign == "-" ? down[i] : up[i]);
    }
    m.Tick(results);
  }
  EXPECT_EQ(m.sent["router"], order.router);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(m.sent["host" + std::to_string(i)], order.host) << i;
  EXPECT_EQ(m.dependencies.HeldCount(), 0u);
  EXPECT_EQ(m["host7"].ResultText(), ResultText(ResultSuccess, 0));
  // What the hold leaves alone: statuses and counters.
  std::uint32_t hostFailures = 0;
  for (const std::string tick : order.ticks)
    for (std::size_t at = tick.find("D-"); at != std::string::npos; at = tick.find("D-", at + 1))
      ++hostFailures;
  EXPECT_EQ(m["host7"].Status, StatusOk);
  EXPECT_EQ(m["host7"].FailedCount, hostFailures);
}

TEST(HostDependencies, HostsBehindADownRouterSendOnlyWhatOutlivesIt) {
  for (const Order& order : kOrders) RunOrder(order);
}

TEST(HostDependencies, HeldHostsSayWhichHostIsDownAndOnlyStatusesMove) {
  Monitor m;
  m.Add("router");
  m.Add("host", "router");
  m.Tick({"-router", "-host"});
  EXPECT_EQ(m["host"].Status, StatusError);
  EXPECT_EQ(m["host"].FailedCount, 1u);
  EXPECT_EQ(m["host"].OutageStart, m.now);
  EXPECT_EQ(m["host"].ResultText(), "unreachable: router is down");
  EXPECT_EQ(m.dependencies.HeldCount(), 1u);
  m.Tick({"+router"});
  EXPECT_EQ(m["host"].ResultText(), ResultText(ResultNoReply, 0));
  m.Tick({"-host"}, 2);
  EXPECT_EQ(m.sent["host"], "") << "a probe started while the router was down";
  m.Tick({"-host"});
  EXPECT_EQ(m.sent["host"], "vp");
}

// C in front of B in front of A: a host is held while any host in front of
// it is down, and named by the farthest one.
TEST(HostDependencies, AChainHoldsUntilNoHostInFrontIsDown) {
  Monitor m;
  m.Add("a", "b");
  m.Add("b", "c");
  m.Add("c");
  m.Tick({"-c", "-b", "-a"});
  EXPECT_EQ(m["a"].ResultText(), "unreachable: c is down");
  EXPECT_EQ(m["b"].ResultText(), "unreachable: c is down");
  EXPECT_EQ(m.sent, (std::map<std::string, std::string>{{"c", "vp"}}));
  m.Tick({"+c"});
  m.Tick({"-b", "-a"});
  EXPECT_EQ(m.sent["b"], "vp");
  EXPECT_EQ(m.sent["a"], "");
  EXPECT_EQ(m["a"].ResultText(), "unreachable: b is down");
  m.Tick({"+a"});
  m.Tick({"+b"});
  EXPECT_EQ(m.sent, (std::map<std::string, std::string>{{"a", ""}, {"b", "vp^k"}, {"c", "vp^k"}}));
  // The middle host down, and the far end seen up since: it is down on its
  // own. Then the far end too.
  m.Tick({"-b"});
  EXPECT_EQ(m.sent["b"], "vp^k") << "waits for c to be seen";
  m.Tick({"+c"});
  m.Tick({"-c", "-a"});
  EXPECT_EQ(m["a"].ResultText(), "unreachable: c is down");
  EXPECT_EQ(m.sent["b"], "vp^kvp");
}

// A hand-edited file: a loop and a host not in the list are said once each,
// and those dependencies are as if not there; the rest still hold.
TEST(HostDependencies, LoopsAndMissingHostsInAFileAreToldAndIgnored) {
  testing::TempDir dir;
  const std::string file = dir.File();
  testing::WriteFile(
      file,
      "[x]\nHost=x\nDependsOn=y\n[y]\nHost=y\nDependsOn=z\n[z]\nHost=z\nDependsOn=X\n"
      "[w]\nHost=w\nDependsOn=x\n[lost]\nHost=lost\nDependsOn=gone\n"
      "[self]\nHost=self\nDependsOn=self\n[r]\nHost=r\n[h]\nHost=h\nDependsOn=r\n");
  Monitor m;
  ASSERT_TRUE(LoadHostList(m.rows, file).ok());
  for (int row = 0; row < m.rows.RowCount(); ++row) {
    m.rows.RecordAt(row).Status = StatusOk;
    m.rows.RecordAt(row).FailPeriod = m.rows.RecordAt(row).SuccessPeriod = 0;
  }
  m.dependencies.ListChanged();
  m.Tick({});
  EXPECT_EQ(m.Notices(), (std::vector<std::string>{
                             "A loop of dependencies (self -> self): these dependencies are "
                             "ignored.",
                             "A loop of dependencies (x -> y -> z -> x): these dependencies are "
                             "ignored.",
                             "lost depends on gone, which is not in the list: the dependency is "
                             "ignored."}));
  m.dependencies.ListChanged();  // a sort, say: nothing new to tell
  m.Tick({});
  EXPECT_TRUE(m.Notices().empty());
  m.Tick({"-z", "-y", "-x", "-lost", "-self", "-r", "-h"});
  m.Tick({"-w"});
  EXPECT_EQ(
      m.sent,
      (std::map<std::string, std::string>{
          {"lost", "vp"}, {"r", "vp"}, {"self", "vp"}, {"x", "vp"}, {"y", "vp"}, {"z", "vp"}}))
      << "w is behind x, h behind r";
  EXPECT_EQ(m["w"].ResultText(), "unreachable: x is down");
}

// The list changes under held hosts: a dependency ended releases one at its
// next failure, a deleted held host is forgotten, a reset ends the hold
// without a word.
TEST(HostDependencies, ChangesOfTheListReleaseOrForgetWhatIsHeld) {
  Monitor m;
  m.Add("router");
  m.Add("kept", "router");
  m.Add("gone", "router");
  m.Add("reset", "router");
  m.Tick({"-router", "-kept", "-gone", "-reset"});
  m.rows.Remove(m.Row("gone"));
  m["reset"].ResetResults();
  m.dependencies.ListChanged();
  m.Tick({});
  EXPECT_EQ(m.dependencies.HeldCount(), 1u);
  m["kept"].DependsOn.clear();
  m.dependencies.ListChanged();
  m.Tick({});
  m.Tick({"-kept"});
  EXPECT_EQ(m.sent, (std::map<std::string, std::string>{{"kept", "vp"}, {"router", "vp"}}));
  EXPECT_EQ(m["reset"].ResultText(), ResultText(ResultSuccess, 0));
}

// The settings dialog refuses a dependency that closes a loop.
TEST(HostDependencies, TheLoopADependencyWouldClose) {
  Monitor m;
  const std::int32_t a = m.Add("a", "b").HostId;
  m.Add("b", "c");
  m.Add("c");
  m.Add("p", "q");
  m.Add("q", "p");
  const struct {
    std::int32_t id;
    const char* host;
    const char* parent;
    const char* loop;
  } cases[] = {
      {m["c"].HostId, "c", "a", "c -> a -> b -> c"},
      {m["c"].HostId, "c", "C", "c -> C"},
      {m["c"].HostId, "c", "", ""},
      {m["c"].HostId, "c", "nowhere", ""},
      {m["c"].HostId, "c", "p", ""},  // into a loop of others
      {m["c"].HostId, "renamed", "a", "renamed -> a -> b -> renamed"},
      {0, "new", "a", ""},  // a host not added yet
      {a, "a", "c", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DependencyLoopText(m.rows, c.id, c.host, c.parent), c.loop) << c.host << c.parent;
  EXPECT_EQ(RowsDependingOn(m.rows, "B"), std::vector<int>{m.Row("a")});
}

}  // namespace
}  // namespace kelvoran
