#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <string>
#include <vector>

#include "../alert/dispatcher_fakes.h"
#include "alert/alert_dispatcher.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "history_files.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

using testing::kStart;

AlertEvent FullEvent(const std::string& host) {
  AlertEvent e;
  e.kind = AlertKind::OkAgain;
  e.host = host;
  e.description = "ünïcode \"quoted\"\nline";
  e.status = "OK";
  e.previousStatus = "WARNING";
  e.error = "Request timed out.";
  e.outageStart = {kStart, -18000};
  e.outageSeconds = 4000;
  e.roundTripMs = 12;
  e.lossPercent = 37;
  e.time = {kStart + 4000, 3600};
  e.computer = "mon1";
  return e;
}

AlertLogEntry Attempt(CalendarTime at, const std::string& host, CalendarTime outage) {
  AlertLogEntry e;
  e.at = at;
  e.channel = "hook";
  e.host = host;
  e.outcome = AttemptOutcome::TimedOut;
  e.text = "no answer in 30 s";
  e.retryAt = at + 30;
  e.late = true;
  e.outageStart = {outage, 3600};
  return e;
}

TEST(AlertJournal, KeepsTheQueueAndTheLogInTheHistoryFile) {
  testing::TempDir dir;
  const std::string path = dir.File("KELVORAN.HISTORY");
  AlertEvent noRoundTrip = FullEvent("db");
  noRoundTrip.roundTripMs.reset();
  const std::vector<AlertLogEntry> log = {Attempt(kStart, "gw", kStart - 60),
                                          Attempt(kStart + 10, "GW", kStart + 5),
                                          Attempt(kStart + 20, "db", kStart - 60)};
  {
    HistoryStore store;
    ASSERT_EQ(store.Open(path), SQLITE_OK);
    std::vector<AlertJournalCall> calls = {WaitingAlert{7, "hook", FullEvent("gw")},
                                           WaitingAlert{8, "mail", noRoundTrip},
                                           WaitingAlert{9, "mail", FullEvent("x")}};
    for (const AlertLogEntry& entry : log) calls.emplace_back(entry);
    calls.emplace_back(AlertFinished{9});
    ASSERT_EQ(store.Write({}, calls), SQLITE_OK);
  }
  HistoryStore store;
  ASSERT_EQ(store.Open(path), SQLITE_OK);
  EXPECT_EQ(store.WaitingAlerts(),
            (std::vector<WaitingAlert>{{7, "hook", FullEvent("gw")}, {8, "mail", noRoundTrip}}));
  const HistoryTime ms = 1000;
  const std::string gw = "gw";
  struct Case {
    const char* name;
    HistoryTime from, to;
    AlertLogFilter filter;
    std::vector<AlertLogEntry> expected;
  };
  const Case cases[] = {
      {"all, newest first", 0, INT64_MAX, {}, {log[2], log[1], log[0]}},
      {"a window", kStart * ms, (kStart + 20) * ms, {}, {log[1], log[0]}},
      {"one host, as the settings file compares names",
       0,
       INT64_MAX,
       {&gw, {}, {}},
       {log[1], log[0]}},
      {"one outage of it", 0, INT64_MAX, {&gw, kStart + 5, {}}, {log[1]}},
      {"outages begun in a span, both ends in",
       0,
       INT64_MAX,
       {nullptr, {}, std::pair(kStart - 60, kStart - 60)},
       {log[2], log[0]}},
      {"and of one host", 0, INT64_MAX, {&gw, {}, std::pair(kStart - 59, kStart + 5)}, {log[1]}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(store.AlertLog(c.from, c.to, c.filter), c.expected) << c.name;
}

// The program stopped (or killed: every journal call is committed before
// the dispatcher is gone) with alerts waiting on a dead server; the next
// start sends each once, marked late.
TEST(AlertJournal, AlertsLeftWaitingAreSentOnceAfterTheNextStart) {
  testing::TempDir dir;
  const std::string path = dir.File("KELVORAN.HISTORY");
  using testing::ScriptedSender;
  const std::vector<std::string> hosts = {"gw", "db", "www", "dns", "ntp"};
  {  // One an earlier run left waiting: the ids of those raised since pass it.
    HistoryStore store;
    ASSERT_EQ(store.Open(path), SQLITE_OK);
    ASSERT_EQ(store.Write({}, {WaitingAlert{5, "hook", testing::Event("old")}}), SQLITE_OK);
  }
  const std::size_t waiting = hosts.size() + 1;
  {
    HistoryRecorder recorder(path);
    ScriptedSender dead([](const AlertChannel&, const AlertEvent&) {
      return AttemptResult{AttemptOutcome::TimedOut, "no answer"};
    });
    DispatcherOptions options;
    options.retry.firstPause = std::chrono::hours(1);
    {
      AlertDispatcher dispatcher({.webhook = &dead}, {}, recorder.Alerts(), options);
      dispatcher.SetChannels({testing::Webhook("hook")});
      for (const std::string& host : hosts) dispatcher.Raise({"hook"}, testing::Event(host));
      EXPECT_EQ(testing::EntriesUntil(dispatcher, waiting).size(), waiting);
    }
    // Committed or not yet, what waits is what the journal answers.
    EXPECT_EQ(recorder.Unfinished().size(), waiting);
  }
  std::vector<std::string> sent;
  for (int start = 0; start < 2; ++start) {
    HistoryRecorder recorder(path);
    ScriptedSender alive([](const AlertChannel&, const AlertEvent&) {
      return AttemptResult{AttemptOutcome::Sent, "200 OK"};
    });
    {
      AlertDispatcher dispatcher({.webhook = &alive}, {}, recorder.Alerts());
      // The channels come a moment later, as the settings are read.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      dispatcher.SetChannels({testing::Webhook("hook")});
      const std::vector<AlertLogEntry> entries =
          testing::EntriesUntil(dispatcher, start == 0 ? waiting : 0);
      for (const AlertLogEntry& entry : entries) {
        EXPECT_TRUE(entry.late) << entry.host;
        EXPECT_EQ(entry.outcome, AttemptOutcome::Sent);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (const std::string& call : alive.Calls()) sent.push_back(call);
    ASSERT_TRUE(recorder.Flush());
    const HistoryQueries queries = recorder.Queries();
    const auto log = queries.alertLog(0, INT64_MAX, {});
    ASSERT_TRUE(log);
    EXPECT_EQ(log->size(), 2 * waiting) << "each failed once, then sent late";
  }
  std::sort(sent.begin(), sent.end());
  EXPECT_EQ(sent, (std::vector<std::string>{"hook db down", "hook dns down", "hook gw down",
                                            "hook ntp down", "hook old down", "hook www down"}));
}

}  // namespace
}  // namespace kelvoran
