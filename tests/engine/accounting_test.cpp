#include "engine/accounting.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "engine/probe_job.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

using testing::FakeHostRows;

// Stands in for the popup delivery: sends once per outage as PopupSent says,
// and remembers what the host looked like when it was asked.
struct RecordingPopup {
  struct Call {
    std::int32_t status;
    std::int32_t resultCode;
    bool alreadySent;
  };
  std::vector<Call> calls;
  int sent = 0;
  std::int32_t outcome = 0;

  PopupSender Sender() {
    return [this](HostRecord& host) {
      calls.push_back({host.Status, host.ResultCode, host.PopupSent});
      if (host.PopupSent) {
        host.ResultValue = 0;
        return 0;
      }
      ++sent;
      host.PopupSent = true;
      host.ResultValue = outcome;
      if (outcome != 0) host.ResultCode = 13000;
      return outcome;
    };
  }
};

class Accounting : public ::testing::Test {
 protected:
  Accounting() : host(rows.Add()) {
    host.FailPeriod = 60;
    host.SuccessPeriod = 60;
  }

  void Apply(bool success, CalendarTime stamp, std::uint32_t rtt = 10, std::int32_t code = 610) {
    ProbeJob job;
    host.MakeProbeJob(job);
    job.Result.StartTime = stamp;
    job.Result.ResultCode = success ? 0 : code;
    job.Result.RoundTripTime = success ? rtt : 0;
    ApplyResult(rows, 0, job, popup.Sender());
  }
  // Results stamped from..to (inclusive) every step seconds.
  void ApplyRun(bool success, CalendarTime from, CalendarTime to, CalendarTime step = 10) {
    for (CalendarTime t = from; t <= to; t += step) Apply(success, t);
  }

  FakeHostRows rows;
  HostRecord& host;
  RecordingPopup popup;
};

TEST_F(Accounting, SuccessCountsResponseTimes) {
  Apply(true, 100, 0);
  EXPECT_EQ(host.LastDelay, 0) << "0 ms is a success";
  EXPECT_EQ(host.MinResponse, 0u);
  Apply(true, 110, 1);
  Apply(true, 120, 2);
  EXPECT_EQ(host.AvgResponse, 1u) << "(0+1+2)/3, truncated";
  EXPECT_EQ(host.MaxResponse, 2u);
  EXPECT_EQ(host.ReceivedCount, 3u);
  EXPECT_EQ(host.SentCount, 3u);
  EXPECT_EQ(host.LastDelay, 2);
  EXPECT_EQ(host.LastProbeTime, 120);
}

TEST_F(Accounting, AverageOfOneAndTwoIsOne) {
  Apply(true, 100, 1);
  Apply(true, 110, 2);
  EXPECT_EQ(host.AvgResponse, 1u);
  EXPECT_EQ(host.MinResponse, 1u);
}

TEST_F(Accounting, FailureLeavesResponseTimesAndMarksDelay) {
  Apply(true, 100, 7);
  Apply(false, 110);
  EXPECT_EQ(host.LastDelay, -1);
  EXPECT_EQ(host.MinResponse, 7u);
  EXPECT_EQ(host.AvgResponse, 7u);
  EXPECT_EQ(host.MaxResponse, 7u);
  EXPECT_EQ(host.ResponseTotal, 7u);
  EXPECT_EQ(host.FailedCount, 1u);
  EXPECT_EQ(host.ResultCode, 610);
  EXPECT_EQ(host.LastProbeTime, 110);
}

TEST_F(Accounting, EveryResultClearsBusyAndKeepsCountsConsistent) {
  for (int i = 0; i < 50; ++i) {
    host.Busy = true;
    Apply(i % 3 != 0, 100 + i * 10);
    EXPECT_FALSE(host.Busy);
    EXPECT_EQ(host.SentCount, host.ReceivedCount + host.FailedCount);
  }
}

TEST_F(Accounting, AverageStaysRightWhenTheTotalPassesFourGigaMilliseconds) {
  // A slow link for weeks: the sum of the response times passes 2^32.
  host.ReceivedCount = 1'000'000;
  host.ResponseTotal = 4'294'000'000ull;
  Apply(true, 100, 3'000'000);
  EXPECT_EQ(host.AvgResponse,
            static_cast<std::uint32_t>((4'294'000'000ull + 3'000'000) / 1'000'001));
}

// Each row of the status table, applied to a host in a prepared state.
struct Transition {
  const char* name;
  std::int32_t statusBefore, trendBefore;
  CalendarTime trendStartBefore;
  std::int32_t failPeriod, successPeriod;
  bool success;
  CalendarTime stamp;
  std::int32_t statusAfter, trendAfter;
  CalendarTime trendStartAfter;
  int popups;
  bool popupSentAfter;
};

void PrintTo(const Transition& row, std::ostream* os) { *os << row.name; }

class StatusTable : public Accounting, public ::testing::WithParamInterface<Transition> {};

TEST_P(StatusTable, MovesAsTheTableSays) {
  const Transition& t = GetParam();
  host.Status = t.statusBefore;
  host.Trend = t.trendBefore;
  host.TrendStart = t.trendStartBefore;
  host.FailPeriod = t.failPeriod;
  host.SuccessPeriod = t.successPeriod;
  host.PopupSent = true;  // shows whether reaching OK clears it
  if (t.popups) host.PopupSent = false;

  Apply(t.success, t.stamp);

  EXPECT_EQ(host.Status, t.statusAfter);
  EXPECT_EQ(host.Trend, t.trendAfter);
  EXPECT_EQ(host.TrendStart, t.trendStartAfter);
  EXPECT_EQ(popup.sent, t.popups);
  EXPECT_EQ(host.PopupSent, t.popupSentAfter);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, StatusTable,
    ::testing::Values(
        Transition{"OkSuccess", 0, 0, 0, 60, 60, true, 500, 0, 0, 0, 0, true},
        Transition{"OkFailureWithPeriod", 0, 0, 0, 60, 60, false, 500, 1, 2, 500, 0, true},
        Transition{"OkFailureZeroPeriod", 0, 0, 0, 0, 60, false, 500, 2, 0, 0, 1, true},
        Transition{"OkFailureNegativePeriod", 0, 0, 0, -5, 60, false, 500, 2, 0, 0, 1, true},
        Transition{"WarningSuccessStartsRun", 1, 2, 400, 60, 60, true, 500, 1, 1, 500, 0, true},
        Transition{"WarningSuccessNoRunStartsRun", 1, 0, 0, 60, 0, true, 500, 1, 1, 500, 0, true},
        Transition{"WarningSuccessRunGoesOn", 1, 1, 450, 60, 60, true, 509, 1, 1, 450, 0, true},
        Transition{"WarningSuccessRunLasted", 1, 1, 440, 60, 60, true, 500, 0, 0, 0, 0, false},
        Transition{"WarningFailureStartsRun", 1, 1, 400, 60, 60, false, 500, 1, 2, 500, 0, true},
        Transition{"WarningFailureRunGoesOn", 1, 2, 450, 60, 60, false, 509, 1, 2, 450, 0, true},
        Transition{"WarningFailureRunLasted", 1, 2, 440, 60, 60, false, 500, 2, 0, 0, 1, true},
        Transition{"ErrorSuccessWithPeriod", 2, 0, 0, 60, 60, true, 500, 1, 1, 500, 0, true},
        Transition{"ErrorSuccessZeroPeriod", 2, 0, 0, 60, 0, true, 500, 0, 0, 0, 0, false},
        Transition{"ErrorFailure", 2, 0, 0, 60, 60, false, 500, 2, 0, 0, 0, true}),
    [](const ::testing::TestParamInfo<Transition>& row) { return std::string(row.param.name); });

TEST_F(Accounting, FailuresFromOkReachErrorAfterTheFailPeriod) {
  host.Status = StatusOk;
  Apply(false, 0);
  EXPECT_EQ(host.Status, StatusWarning);
  EXPECT_EQ(host.Trend, TrendFailures);
  EXPECT_EQ(host.TrendStart, 0);
  ApplyRun(false, 10, 50);
  EXPECT_EQ(host.Status, StatusWarning);
  Apply(false, 60);
  EXPECT_EQ(host.Status, StatusError);
  ApplyRun(false, 70, 300);
  EXPECT_EQ(popup.sent, 1) << "once per outage";
}

TEST_F(Accounting, OneSuccessBreaksARunOfFailures) {
  host.Status = StatusOk;
  ApplyRun(false, 0, 50);
  Apply(true, 55);
  EXPECT_EQ(host.Trend, TrendSuccesses);
  EXPECT_EQ(host.TrendStart, 55);
  ApplyRun(false, 65, 115);
  EXPECT_EQ(host.Status, StatusWarning);
  EXPECT_EQ(host.TrendStart, 65);
  Apply(false, 125);
  EXPECT_EQ(host.Status, StatusError);
}

TEST_F(Accounting, NewHostBecomesOkAfterTheSuccessPeriod) {
  ApplyRun(true, 100, 150);
  EXPECT_EQ(host.Status, StatusWarning);
  EXPECT_EQ(host.TrendStart, 100);
  Apply(true, 160);
  EXPECT_EQ(host.Status, StatusOk);
  EXPECT_EQ(host.Trend, TrendNone);
}

TEST_F(Accounting, ZeroFailPeriodInWarningNeedsASecondFailure) {
  host.FailPeriod = 0;
  Apply(false, 100);
  EXPECT_EQ(host.Status, StatusWarning) << "the result that starts a run never ends it";
  Apply(false, 100);
  EXPECT_EQ(host.Status, StatusError);
  EXPECT_EQ(popup.sent, 1);
}

TEST_F(Accounting, PeriodsAreMeasuredBetweenStartTimesNotByApplyOrder) {
  // Results may be applied late; only their stamps count.
  Apply(false, 1000);
  Apply(false, 1059);
  EXPECT_EQ(host.Status, StatusWarning);
  Apply(false, 1060);
  EXPECT_EQ(host.Status, StatusError);
}

TEST_F(Accounting, PopupIsNotSentAgainWithoutReachingOk) {
  host.FailPeriod = 0;
  host.Status = StatusOk;
  Apply(false, 0);
  ASSERT_EQ(host.Status, StatusError);
  Apply(true, 10);
  EXPECT_EQ(host.Status, StatusWarning);
  ApplyRun(false, 20, 30);
  EXPECT_EQ(host.Status, StatusError);
  EXPECT_EQ(popup.sent, 1);
  ASSERT_EQ(popup.calls.size(), 2u) << "the delivery is asked on each entry; it decides";
  EXPECT_TRUE(popup.calls[1].alreadySent);

  host.SuccessPeriod = 0;
  Apply(true, 40);
  EXPECT_EQ(host.Status, StatusOk);
  EXPECT_FALSE(host.PopupSent);
  Apply(false, 50);
  EXPECT_EQ(popup.sent, 2) << "a new outage after OK sends again";
}

TEST_F(Accounting, PopupSeesErrorAndTheProbeCodeAndItsOutcomeReplacesIt) {
  host.FailPeriod = 0;
  host.Status = StatusOk;
  popup.outcome = 1722;
  Apply(false, 0, 0, 11003);
  ASSERT_EQ(popup.calls.size(), 1u);
  EXPECT_EQ(popup.calls[0].status, StatusError);
  EXPECT_EQ(popup.calls[0].resultCode, 11003);
  EXPECT_EQ(host.ResultCode, 13000);
  EXPECT_EQ(host.ResultValue, 1722);
  EXPECT_EQ(host.Trend, TrendNone);
}

TEST_F(Accounting, NoPopupSenderStillReachesError) {
  host.FailPeriod = 0;
  host.Status = StatusOk;
  ProbeJob job;
  host.MakeProbeJob(job);
  job.Result.ResultCode = 610;
  ApplyResult(rows, 0, job, PopupSender{});
  EXPECT_EQ(host.Status, StatusError);
}

TEST_F(Accounting, HugePeriodsAndTimesDoNotOverflow) {
  // Values only a hand-edited file can hold; in 32 bits these sums overflow.
  host.FailPeriod = INT32_MAX;
  host.SuccessPeriod = INT32_MAX;
  Apply(false, INT32_MAX);
  Apply(false, INT32_MAX);
  EXPECT_EQ(host.Status, StatusWarning) << "a period of 68 years has not passed";
  host.FailPeriod = INT32_MIN;
  Apply(false, INT32_MAX);
  EXPECT_EQ(host.Status, StatusError);
  host.SuccessPeriod = INT32_MAX;
  Apply(true, CalendarTime{4'102'444'800});  // 2100-01-01, past 2038
  EXPECT_EQ(host.Status, StatusWarning);
  EXPECT_EQ(host.TrendStart, 4'102'444'800);
  EXPECT_EQ(host.LastProbeTime, 4'102'444'800);
}

TEST_F(Accounting, RefreshesTheRowAndOnlyItsOwnDialog) {
  HostRecord& other = rows.Add();
  HostRecord otherCopy(other);
  rows.dialogRecord = &otherCopy;
  Apply(true, 100);
  EXPECT_EQ(rows.formattedRows, std::vector<int>{0});
  EXPECT_TRUE(rows.dialogRefreshes.empty());

  HostRecord working(host);  // what the Edit command hands the dialog
  working.SentCount = 0;
  rows.dialogRecord = &working;
  Apply(true, 110);
  EXPECT_EQ(rows.dialogRefreshes, std::vector<std::int32_t>{host.HostId});
  EXPECT_EQ(working.SentCount, 0u) << "the dialog's working record is not changed";
}

TEST_F(Accounting, ResetReturnsEveryHostToItsStartAndRefreshesEveryRow) {
  HostRecord& second = rows.Add();
  host.FailPeriod = 0;
  host.Status = StatusOk;
  Apply(false, 100);
  ASSERT_EQ(host.Status, StatusError);
  second.Busy = true;
  second.SentCount = 4;
  rows.formattedRows.clear();

  ResetAllResults(rows);

  EXPECT_EQ(rows.formattedRows, (std::vector<int>{0, 1}));
  EXPECT_EQ(host.Status, StatusWarning);
  EXPECT_EQ(host.SentCount, 0u);
  EXPECT_EQ(host.LastProbeTime, 0);
  EXPECT_FALSE(host.PopupSent);
  EXPECT_EQ(host.FailPeriod, 0);
  EXPECT_TRUE(second.Busy) << "a probe in flight is applied afterwards";
  EXPECT_EQ(second.SentCount, 0u);

  Apply(false, 200);
  Apply(false, 200);
  EXPECT_EQ(popup.sent, 2) << "after a reset the next outage sends again";
}

}  // namespace
}  // namespace kelvoran
