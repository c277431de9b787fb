#include "alert/alert_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvoran {
namespace {

AlertEvent SampleEvent() {
  AlertEvent event;
  event.kind = AlertKind::OkAgain;
  event.host = "gw\"1\\\n\x7f\xc3\xa9";
  event.description = "Gateway";
  event.status = "OK";
  event.previousStatus = "ERROR";
  event.error = "Request timed out";
  event.outageStart = {.utc = 1796678100, .utcOffsetSeconds = 3600};  // 21:15 UTC
  event.outageSeconds = 303;
  event.roundTripMs = 12;
  event.lossPercent = 4;
  event.time = {.utc = 1796678403, .utcOffsetSeconds = -(5 * 3600 + 30 * 60)};
  event.computer = "MONITOR";
  return event;
}

struct RenderCase {
  std::string text;
  Escaping escaping;
  std::string expected;
};

TEST(AlertTemplate, RendersEachPlaceholderWithItsEscaping) {
  const std::vector<RenderCase> cases = {
      {"{event} {status} after {previous_status}", Escaping::None, "ok OK after ERROR"},
      {"{description}: {error}", Escaping::PlainText, "Gateway: Request timed out"},
      {"{outage_start} for {duration} s", Escaping::None, "2026-12-07T22:15:00+01:00 for 303 s"},
      {"{rtt} ms {loss}% {time} on {computer}", Escaping::None,
       "12 ms 4% 2026-12-07T15:50:03-05:30 on MONITOR"},
      {"{host}", Escaping::None, "gw\"1\\\n\x7f\xc3\xa9"},
      {"{host}", Escaping::PlainText, "gw\"1\\  \xc3\xa9"},
      {"{\"h\":\"{host}\"}", Escaping::JsonString, "{\"h\":\"gw\\\"1\\\\\\u000a\\u007f\xc3\xa9\"}"},
      {"{{host}} {unknown} {host", Escaping::None, "{host} {unknown} {host"},
      {"}} {{{event}}} } {", Escaping::None, "} {ok} } {"},
      {"", Escaping::None, ""},
  };
  for (const RenderCase& c : cases) {
    EXPECT_EQ(RenderAlert(c.text, SampleEvent(), c.escaping), c.expected) << c.text;
  }
}

TEST(AlertTemplate, WritesMomentsBeforeTheEpochAndAfter2038) {
  EXPECT_EQ(Iso8601({.utc = -1, .utcOffsetSeconds = 0}), "1969-12-31T23:59:59+00:00");
  EXPECT_EQ(Iso8601({.utc = 4102444800, .utcOffsetSeconds = -1800}), "2099-12-31T23:30:00-00:30");
}

}  // namespace
}  // namespace kelvoran
