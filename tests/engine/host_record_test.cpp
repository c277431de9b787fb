#include "engine/host_record.h"

#include <gtest/gtest.h>

#include "engine/probe_job.h"

namespace kelvoran {
namespace {

HostRecord ProbedHost() {
  HostRecord host;
  host.Host = "gateway";
  host.Delay = 10;
  host.FailPeriod = 60;
  host.SuccessPeriod = 30;
  host.PacketSize = 64;
  host.Timeout = 5;
  host.PopupDestination = "ops,desk";
  host.PopupMessage = "gateway down";
  host.Description = "Router";
  host.LastDelay = 12;
  host.Status = StatusError;
  host.MinResponse = 3;
  host.AvgResponse = 7;
  host.MaxResponse = 20;
  host.SentCount = 9;
  host.ReceivedCount = 5;
  host.FailedCount = 4;
  host.ResponseTotal = 35;
  host.LastProbeTime = 1000;
  host.TrendStart = 990;
  host.Trend = TrendFailures;
  host.PopupSent = true;
  host.ResultCode = 13000;
  host.ResultValue = 1722;
  host.Busy = true;
  return host;
}

TEST(HostRecord, NewRecordIsWarningWithNoRunAndNoMinimum) {
  HostRecord host;
  EXPECT_EQ(host.Status, StatusWarning);
  EXPECT_EQ(host.Trend, TrendNone);
  EXPECT_EQ(host.TrendStart, 0);
  EXPECT_EQ(host.MinResponse, 0xFFFFFFFFu);
  EXPECT_EQ(host.LastProbeTime, 0);
  EXPECT_FALSE(host.Busy);
  EXPECT_FALSE(host.PopupSent);
  EXPECT_EQ(host.Delay, 0) << "settings of a new record come from the dialog or the file";
  EXPECT_TRUE(host.Host.empty());
}

TEST(HostRecord, DefaultConstructionsNeverShareAnId) {
  HostRecord a, b, c;
  EXPECT_EQ(b.HostId, a.HostId + 1);
  EXPECT_EQ(c.HostId, b.HostId + 1);
}

TEST(HostRecord, FullCopyCarriesIdBusyAndResults) {
  const HostRecord source = ProbedHost();
  HostRecord copy(source);
  EXPECT_EQ(copy.HostId, source.HostId);
  EXPECT_TRUE(copy.Busy);
  EXPECT_EQ(copy.SentCount, 9u);
  EXPECT_EQ(copy.PopupMessage, "gateway down");
  copy.Host = "changed";
  EXPECT_EQ(source.Host, "gateway") << "the copy must be independent";
}

TEST(HostRecord, CopySettingsTakesTheNineSettingsOnly) {
  HostRecord edited = ProbedHost();
  edited.Host = "gw2";
  edited.Timeout = 2;
  edited.Description = "New router";
  HostRecord live;
  live.SentCount = 42;
  live.Status = StatusOk;
  live.MinResponse = 1;
  const std::int32_t liveId = live.HostId;

  live.CopySettings(edited);

  EXPECT_EQ(live.Host, "gw2");
  EXPECT_EQ(live.Delay, 10);
  EXPECT_EQ(live.FailPeriod, 60);
  EXPECT_EQ(live.SuccessPeriod, 30);
  EXPECT_EQ(live.PacketSize, 64u);
  EXPECT_EQ(live.Timeout, 2);
  EXPECT_EQ(live.PopupDestination, "ops,desk");
  EXPECT_EQ(live.PopupMessage, "gateway down");
  EXPECT_EQ(live.Description, "New router");
  EXPECT_EQ(live.HostId, liveId);
  EXPECT_FALSE(live.Busy);
  EXPECT_EQ(live.SentCount, 42u);
  EXPECT_EQ(live.Status, StatusOk);
  EXPECT_EQ(live.MinResponse, 1u);
  EXPECT_EQ(live.LastDelay, 0);
}

TEST(HostRecord, ResetResultsKeepsSettingsIdAndBusy) {
  HostRecord host = ProbedHost();
  const std::int32_t id = host.HostId;
  host.ResetResults();

  HostRecord fresh;
  EXPECT_EQ(host.Status, fresh.Status);
  EXPECT_EQ(host.MinResponse, fresh.MinResponse);
  EXPECT_EQ(host.AvgResponse, 0u);
  EXPECT_EQ(host.MaxResponse, 0u);
  EXPECT_EQ(host.SentCount, 0u);
  EXPECT_EQ(host.ReceivedCount, 0u);
  EXPECT_EQ(host.FailedCount, 0u);
  EXPECT_EQ(host.ResponseTotal, 0u);
  EXPECT_EQ(host.LastDelay, 0);
  EXPECT_EQ(host.LastProbeTime, 0) << "a reset host is due at once";
  EXPECT_EQ(host.Trend, TrendNone);
  EXPECT_EQ(host.TrendStart, 0);
  EXPECT_FALSE(host.PopupSent);
  EXPECT_EQ(host.ResultCode, 0);
  EXPECT_EQ(host.ResultValue, 0);

  EXPECT_EQ(host.HostId, id);
  EXPECT_TRUE(host.Busy);
  EXPECT_EQ(host.Host, "gateway");
  EXPECT_EQ(host.Delay, 10);
  EXPECT_EQ(host.PopupDestination, "ops,desk");
  EXPECT_EQ(host.Description, "Router");
}

TEST(HostRecord, MakeProbeJobCopiesRequestAndZeroesResult) {
  HostRecord host = ProbedHost();
  ProbeJob job;
  job.Result.ResultCode = 610;
  job.Result.RoundTripTime = 99;
  job.Result.StartTime = 5;
  job.Result.ReplyText[3] = 'x';

  host.MakeProbeJob(job);
  host.Host = "renamed";

  EXPECT_EQ(job.Request.Host, "gateway") << "the job owns its own copy of the name";
  EXPECT_EQ(job.Request.PacketSize, 64u);
  EXPECT_EQ(job.Request.Timeout, 5);
  EXPECT_EQ(job.Request.HostId, host.HostId);
  EXPECT_EQ(job.Result.ResultCode, 0);
  EXPECT_EQ(job.Result.RoundTripTime, 0u);
  EXPECT_EQ(job.Result.StartTime, 0);
  for (char c : job.Result.ReplyText) EXPECT_EQ(c, '\0');
}

}  // namespace
}  // namespace kelvoran
