#include "alert/alert_raiser.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "alert/alert_template.h"
#include "engine/accounting.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

// One host fed stamped results through the accounting, with a popup delivery
// that logs as the accounting tests' does and the raiser on the edge hook.
struct Watched {
  Watched() {
    host.Host = "gw";
    host.Description = "the gateway";
    host.AlertChannels = "mail, hook";
    host.Status = StatusOk;
    host.FailPeriod = 10;
    host.SuccessPeriod = 10;
  }
  void Apply(bool success, CalendarTime stamp) {
    ProbeJob job;
    host.MakeProbeJob(job);
    job.Result.StartTime = stamp;
    job.Result.ResultCode = success ? ResultSuccess : ResultNoReply;
    job.Result.RoundTripTime = 7;
    ApplyResult(rows, 0, job, {sendPopup, sendOkAgain, raiser.Observer()});
    raiser.ResultApplied(host, job.Result, 0);
  }

  testing::FakeHostRows rows;
  HostRecord& host = rows.Add();
  std::string popupCalls;
  std::vector<std::string> alerts;
  PopupSender sendPopup = [this](HostRecord& h) {
    popupCalls += h.PopupSent ? "-" : "S";
    h.PopupSent = true;
    // The delivery's outcome replaces the probe's, after the alert was made.
    h.ResultCode = ResultPopupFailed;
    return 0;
  };
  OkAgainSender sendOkAgain = [this](HostRecord&, CalendarTime outage) {
    popupCalls.append("K").append(std::to_string(outage));
    return 0;
  };
  AlertRaiser raiser{[this](const std::vector<std::string>& channels, const AlertEvent& e) {
                       std::ostringstream line;
                       line << (e.kind == AlertKind::Down ? "down " : "ok ") << e.host << " ("
                            << e.description << ") " << e.previousStatus << ">" << e.status
                            << " from " << Iso8601(e.outageStart) << " " << e.outageSeconds
                            << " s, loss " << e.lossPercent << "%, rtt "
                            << (e.roundTripMs ? std::to_string(*e.roundTripMs) : "-") << ", '"
                            << e.error << "' at " << Iso8601(e.time) << " on " << e.computer
                            << " to";
                       for (const std::string& c : channels) line << " " << c;
                       alerts.push_back(line.str());
                     },
                     {[](std::int64_t utc) { return utc < 1'800'000'030 ? 3600 : 7200; }, "mon1"}};
};

TEST(AlertRaiser, OneDownAndOneOkAgainPerOutage) {
  const std::string noReply = ResultText(ResultNoReply, 0);
  struct Case {
    const char* name;
    bool popupWhenOk;
    std::string channels;
    const char* steps;  // "+" success or "-" failure with its stamp past 1800000000
    std::vector<std::string> alerts;
    const char* popupCalls;
  };
  const std::vector<std::string> outage = {
      "down gw (the gateway) WARNING>ERROR from 2027-01-15T09:00:10+01:00 0 s, loss 100%, rtt -, "
      "'" +
          noReply + "' at 2027-01-15T09:00:10+01:00 on mon1 to mail hook",
      "ok gw (the gateway) WARNING>OK from 2027-01-15T09:00:10+01:00 50 s, loss 57%, rtt 7, '' at "
      "2027-01-15T10:01:00+02:00 on mon1 to mail hook"};
  const Case cases[] = {
      {"OK, WARNING, ERROR, WARNING, ERROR, OK", true, "mail, hook", "-0 -10 +20 -30 -40 +50 +60",
       outage, "S-K50"},
      {"the popup's own OK-again option does not matter", false, "mail, hook",
       "-0 -10 +20 -30 -40 +50 +60", outage, "S-"},
      {"WARNING and back to OK is no outage", true, "mail", "-0 +5 +15", {}, ""},
      {"a host without channels raises nothing", true, "", "-0 -10 +20 +30", {}, "SK20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Watched w;
    w.host.PopupWhenOk = c.popupWhenOk;
    w.host.AlertChannels = c.channels;
    std::istringstream steps(c.steps);
    char sign = 0;
    CalendarTime stamp = 0;
    while (steps >> sign >> stamp) w.Apply(sign == '+', 1'800'000'000 + stamp);
    EXPECT_EQ(w.alerts, c.alerts);
    EXPECT_EQ(w.popupCalls, c.popupCalls);
  }
}

// A quality edge is an alert of its own kind, with what the rule saw as its
// text and, back to normal, how long the rule was raised; the host's status
// is told as it stands.
TEST(AlertRaiser, QualityEdgesAreAlertsOfTheirOwnKind) {
  std::vector<AlertKind> kinds;
  AlertRaiser raiser(
      [&](const std::vector<std::string>& channels, const AlertEvent& e) {
        kinds.push_back(e.kind);
        EXPECT_EQ(channels, (std::vector<std::string>{"mail"}));
        EXPECT_EQ(e.status, "OK");
        EXPECT_EQ(e.previousStatus, "OK");
        if (e.kind == AlertKind::JitteryEnded) {
          EXPECT_EQ(e.error, "no longer jittery: jitter 4 ms over 10 probes (limit 30 ms)");
          EXPECT_EQ(e.outageSeconds, 90);
        }
      },
      {});
  HostRecord host;
  host.Host = "gw";
  host.Status = StatusOk;
  std::vector<std::string> held;
  raiser.SetHold([&](const std::vector<std::string>&, const AlertEvent& e, const std::string& why) {
    held.push_back(e.error + "; " + why);
  });
  raiser.QualitySeen(host, {QualityRule::Jittery, true, 44, 10, 30, 1000, 1000, {}});
  host.AlertChannels = "mail";
  raiser.QualitySeen(host, {QualityRule::Slow, true, 900, 10, 500, 1000, 1000, {}});
  raiser.QualitySeen(host, {QualityRule::Jittery, false, 4, 10, 30, 1090, 1000, {}});
  raiser.QualitySeen(host, {QualityRule::Slow, false, 90, 10, 500, 1090, 1000, "muted"});
  EXPECT_EQ(kinds, (std::vector<AlertKind>{AlertKind::Slow, AlertKind::JitteryEnded}))
      << "none without channels";
  EXPECT_EQ(held, (std::vector<std::string>{
                      "no longer slow: median 90 ms over 10 probes (limit 500 ms); muted"}));
}

// An alert held while a host in front was down is told after its results
// were: its loss counts each of them once.
TEST(AlertRaiser, AnEdgeToldLateCountsItsResultsOnce) {
  Watched w;
  for (const bool failed : {false, false, true}) {
    ProbeResult result;
    result.ResultCode = failed ? ResultNoReply : ResultSuccess;
    w.raiser.ResultApplied(w.host, result, StatusOk);
  }
  StatusEdge late;
  late.at = late.outageStart = 1'800'000'000;
  late.resultsTold = true;
  w.raiser.EdgeSeen(w.host, late);
  ASSERT_EQ(w.alerts.size(), 1u);
  EXPECT_NE(w.alerts[0].find("loss 33%"), std::string::npos) << w.alerts[0];
}

// A muted host's edge goes to the alert log as held, with why; none is sent.
TEST(AlertRaiser, AHeldEdgeIsHeldNotRaised) {
  Watched w;
  std::string held;
  w.raiser.SetHold(
      [&](const std::vector<std::string>& channels, const AlertEvent& e, const std::string& why) {
        held = e.host + " " + why + " to " + channels.at(0) + "," + channels.at(1);
      });
  StatusEdge edge;
  edge.heldBecause = "muted until 14:30";
  w.raiser.EdgeSeen(w.host, edge);
  EXPECT_TRUE(w.alerts.empty());
  EXPECT_EQ(held, "gw muted until 14:30 to mail,hook");
}

}  // namespace
}  // namespace kelvoran
