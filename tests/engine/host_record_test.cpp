#include "engine/host_record.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

using testing::Settings;

// A record's results as a tuple of references, like its settings.
template <class Record>
auto Results(Record& h) {
  return std::tie(h.LastDelay, h.Status, h.MinResponse, h.AvgResponse, h.MaxResponse, h.SentCount,
                  h.ReceivedCount, h.FailedCount, h.ResponseTotal, h.LastProbeTime, h.TrendStart,
                  h.Trend, h.PopupSent, h.OutageStart, h.ResultCode, h.ResultValue);
}

// Every setting and every result differs from a new record's.
HostRecord ProbedHost() {
  HostRecord h;
  Settings(h) =
      std::tuple("gateway", 10, 60, 30, 64u, 5, "ops,desk", "gateway down", "Router", true);
  Results(h) = std::tuple(12, StatusError, 3u, 7u, 20u, 9u, 5u, 4u, 35ull, 1000, 990, TrendFailures,
                          true, 950, 13000, 1722);
  h.Busy = true;
  return h;
}

TEST(HostRecord, CopySettingsTakesTheTenSettingsAndNothingElse) {
  const HostRecord edited = ProbedHost();
  HostRecord live;
  live.SentCount = 42;
  const HostRecord before = live;
  live.CopySettings(edited);
  EXPECT_EQ(Settings(live), Settings(edited));
  EXPECT_EQ(Results(live), Results(before));
  EXPECT_EQ(live.HostId, before.HostId);
  EXPECT_FALSE(live.Busy);
}

// New: WARNING with no run, no minimum yet and due at once. Reset returns
// there and keeps the settings, the id and Busy.
TEST(HostRecord, NewAndResetRecordsStartTheSame) {
  const auto start = std::tuple(0, StatusWarning, 0xFFFFFFFFu, 0u, 0u, 0u, 0u, 0u, 0ull, 0, 0,
                                TrendNone, false, std::optional<CalendarTime>(), 0, 0);
  const HostRecord fresh, probed = ProbedHost();
  HostRecord reset = probed;
  reset.ResetResults();
  EXPECT_EQ(Results(fresh), start);
  EXPECT_EQ(Results(reset), start);
  EXPECT_EQ(Settings(reset), Settings(probed));
  EXPECT_EQ(std::tuple(reset.HostId, reset.Busy, fresh.Busy),
            std::tuple(probed.HostId, true, false));
}

TEST(HostRecord, MakeProbeJobCopiesTheRequestAndZeroesTheResult) {
  const HostRecord host = ProbedHost();
  ProbeJob job;
  job.Result.ResultCode = 610;
  job.Result.StartTime = 5;
  job.Result.ReplyText[31] = 'x';
  host.MakeProbeJob(job);
  const ProbeRequest& r = job.Request;
  EXPECT_EQ(std::tie(r.Host, r.PacketSize, r.Timeout, r.HostId),
            std::tie(host.Host, host.PacketSize, host.Timeout, host.HostId));
  EXPECT_EQ(std::tuple(job.Result.ResultCode, job.Result.StartTime, job.Result.ReplyText[31]),
            std::tuple(0, 0, '\0'));
}

// 0 is empty whatever the value; codes outside the table, even beside its
// ranges, are formatted; the old socket codes have a text for 10060 only.
TEST(ResultText, EveryKindOfCodeWithItsValue) {
  const std::tuple<std::int32_t, std::int32_t, const char*> cases[] = {
      {0, 10060, ""},
      {100, 0, "Bad parameter(s) specification."},
      {230, 0, "Error resolving host address."},
      {240, -3, "Memory error."},
      {290, 0, "Bad response packet (non echo type)."},
      {600, 13, "Internal error creating icmp handle."},
      {610, 0, "Request timed out."},
      {11003, 0, "Destination host unreachable."},
      {11018, 0, "Bad destination."},
      {13000, -1, "Error sending popup message."},
      {11000, 0, "Code 11000, Value 0"},
      {11019, 0, "Code 11019, Value 0"},
      {99, -7, "Code 99, Value -7"},
      {INT32_MIN, INT32_MAX, "Code -2147483648, Value 2147483647"}};
  for (const auto& [code, value, text] : cases)
    EXPECT_EQ(ResultText(code, value), text) << code << ", " << value;
  for (std::int32_t code : {200, 210, 220, 250, 260, 270}) {
    EXPECT_EQ(ResultText(code, 10060), "Host unreachable") << code;
    EXPECT_EQ(ResultText(code, 10061), "") << code;
  }
  HostRecord host;
  std::tie(host.ResultCode, host.ResultValue) = std::tuple(7, 1722);
  EXPECT_EQ(host.ResultText(), "Code 7, Value 1722");
}

}  // namespace
}  // namespace kelvoran
