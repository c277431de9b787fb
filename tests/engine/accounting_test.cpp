#include "engine/accounting.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

// One host in a list and a stand-in popup delivery that sends once per outage
// as PopupSent says and logs each call ("S" sent, "-" nothing to send, "K" and
// the outage's length for the OK-again message).
struct Monitored {
  void Apply(bool success, CalendarTime stamp, std::uint32_t rtt = 10) {
    ProbeJob job;
    host.MakeProbeJob(job);
    job.Result.StartTime = stamp;
    job.Result.ResultCode = success ? ResultSuccess : ResultNoReply;
    job.Result.RoundTripTime = rtt;
    job.Result.ResultValue = value;
    ApplyResult(rows, 0, job, {sendPopup, sendOkAgain});
  }

  testing::FakeHostRows rows;
  HostRecord& host = rows.Add();
  std::string popupCalls;
  std::int32_t value = 0;
  PopupSender sendPopup = [this](HostRecord& h) {
    popupCalls += h.PopupSent ? "-" : "S";
    h.PopupSent = true;
    return 0;
  };
  OkAgainSender sendOkAgain = [this](HostRecord& h, CalendarTime outage) {
    EXPECT_EQ(h.Status, StatusOk);
    popupCalls.append("K").append(std::to_string(outage));
    return 0;
  };
};

TEST(Accounting, CountsResultsAndResponseTimes) {
  Monitored m;
  HostRecord& h = m.host;
  h.Busy = true;
  m.Apply(true, 100, 7);
  EXPECT_FALSE(h.Busy);
  m.Apply(true, 110, 0);  // 0 ms is a success
  m.Apply(true, 120, 4);
  EXPECT_EQ(h.LastDelay, 4);
  std::tie(m.value, h.FailPeriod) = std::tuple(13, 60);  // no ERROR, so no popup
  m.Apply(false, 130);                                   // its round trip time must not count
  EXPECT_EQ(std::tie(h.MinResponse, h.AvgResponse, h.MaxResponse), std::tuple(0u, 3u, 7u))
      << "average (7+0+4)/3 truncated";
  EXPECT_EQ(std::tie(h.SentCount, h.ReceivedCount, h.FailedCount), std::tuple(4u, 3u, 1u));
  EXPECT_EQ(std::tie(h.LastDelay, h.ResultCode, h.ResultValue, h.LastProbeTime),
            std::tuple(-1, 610, 13, 130));

  // A slow link for weeks: the sum of the response times passes 2^32.
  std::tie(h.ReceivedCount, h.ResponseTotal) = std::tuple(1'000'000u, 4'294'000'000ull);
  m.Apply(true, 140, 3'000'000);
  EXPECT_EQ(h.AvgResponse, (4'294'000'000ull + 3'000'000) / 1'000'001);
}

// Results with chosen StartTimes, applied to a host that starts in the given
// status (O, W or E) with no run. Each step is "+" (success) or "-" (failure)
// with its stamp, then what it leaves: O, E, or W with its run ("+" or "-")
// and the run's start. "-509W-450": a failure stamped 509 leaves WARNING in a
// run of failures that started at 450. Last, the log of the popup delivery's
// calls: it is asked on each entry into ERROR, and with popupWhenOk on the
// return to OK that ends an outage.
struct Sequence {
  const char* name;
  char status;
  std::int32_t failPeriod, successPeriod;
  const char* steps;
  const char* popupCalls;
  bool popupWhenOk = false;
};

TEST(Accounting, StatusFollowsSequencesOfStampedResults) {
  const Sequence sequences[] = {
      {"new host, success period", 'W', 60, 60, "+100W+100 +159W+100 +160O +170O", ""},
      {"fail period between StartTimes", 'O', 60, 60, "-0W-0 -59W-0 -60E -300E", "S"},
      {"unlike results break runs", 'O', 60, 60, "-0W-0 -50W-0 +55W+55 -65W-65 -124W-65 -125E",
       "S"},
      {"a success leaving ERROR", 'E', 60, 60, "+500W+500 +559W+500 +560O", ""},
      {"periods of 0 leave at once", 'O', 0, 0, "-500E -505E +510O -520E", "SS"},
      {"negative periods leave at once", 'O', -5, -5, "-500E +510O -520E", "SS"},
      {"a run's first result never ends it", 'W', 0, 0, "+100W+100 -100W-100 -100E +100O", "S"},
      {"ERROR, WARNING, ERROR: one outage", 'O', 0, 60, "-0E +10W+10 -20W-20 -30E", "S-"},
      {"reaching OK ends the outage", 'O', 0, 60, "-0E +10W+10 +70O -80E", "SS"},
      {"a 68-year period", 'W', INT32_MAX, 60, "-2147483647W-2147483647 -2147483647W-2147483647",
       ""},
      {"the most negative period", 'W', INT32_MIN, 60, "-2147483647W-2147483647 -2147483647E", "S"},
      {"stamps past 2038", 'W', 60, 60,
       "+4102444800W+4102444800 +4102444859W+4102444800 +4102444860O", ""},
      {"OK again after an outage", 'O', 0, 60, "-100E +110W+110 +170O +180O", "SK70", true},
      {"OK again without asking", 'O', 0, 60, "-100E +110W+110 +170O", "S"},
      {"WARNING to OK is no outage", 'W', 0, 60, "+100W+100 +160O", "", true},
      {"one outage from its first ERROR", 'O', 0, 60,
       "-0E +10W+10 -20W-20 -30E +40W+40 +100O -110E +120W+120 +180O", "S-K100SK70", true}};
  const std::string_view statuses = "OWE", trends = " +-";
  for (const Sequence& s : sequences) {
    SCOPED_TRACE(s.name);
    Monitored m;
    HostRecord& h = m.host;
    h.Status = static_cast<std::int32_t>(statuses.find(s.status));
    std::tie(h.FailPeriod, h.SuccessPeriod) = std::tie(s.failPeriod, s.successPeriod);
    h.PopupWhenOk = s.popupWhenOk;
    std::istringstream steps(s.steps);
    char sign = 0, status = 0;
    CalendarTime stamp = 0;
    while (steps >> sign >> stamp >> status) {
      char trend = ' ';
      CalendarTime runStart = 0;
      if (status == 'W') steps >> trend >> runStart;
      m.Apply(sign == '+', stamp);
      EXPECT_EQ(std::tie(h.Status, h.Trend, h.TrendStart),
                std::tuple(statuses.find(status), trends.find(trend), runStart))
          << "after " << sign << stamp;
    }
    EXPECT_TRUE(steps.eof()) << "malformed steps";
    EXPECT_EQ(m.popupCalls, s.popupCalls);
  }
}

TEST(Accounting, RefreshesTheRowAndOnlyTheDialogOfTheSameHost) {
  Monitored m;
  const HostRecord otherHostInDialog(m.rows.Add());
  m.rows.dialogRecord = &otherHostInDialog;
  m.Apply(true, 100);
  EXPECT_TRUE(m.rows.dialogRefreshes.empty());
  const HostRecord working(m.host);  // what the Edit command hands the dialog
  m.rows.dialogRecord = &working;
  m.Apply(true, 110);
  EXPECT_EQ(m.rows.formattedRows, (std::vector<int>{0, 0}));
  EXPECT_EQ(m.rows.dialogRefreshes, std::vector<std::int32_t>{m.host.HostId});
  EXPECT_EQ(working.SentCount, 1u) << "the dialog's working record is not changed";
}

TEST(Accounting, ResetAllResultsRestartsEveryHostAndRefreshesEveryRow) {
  Monitored m;
  HostRecord& second = m.rows.Add();
  m.Apply(false, 100);
  second.SentCount = 4;
  m.rows.formattedRows.clear();
  ResetAllResults(m.rows);
  EXPECT_EQ(m.rows.formattedRows, (std::vector<int>{0, 1}));
  EXPECT_EQ(std::tie(m.host.SentCount, m.host.LastProbeTime, second.SentCount),
            std::tuple(0u, 0, 0u));
}

}  // namespace
}  // namespace kelvoran
