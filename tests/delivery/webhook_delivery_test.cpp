#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "alert/alert_template.h"
#include "alert/webhook_presets.h"
#include "delivery/webhook_sender.h"
#include "test_servers.h"

namespace kelvoran {
namespace {

constexpr const char* Token = "tk-Secr3t/token";

class WebhookDelivery : public test::ServersTest {
 protected:
  AlertChannel Channel(const std::string& path, const char* portKey = "HTTPS_PORT") const {
    AlertChannel channel;
    channel.name = "hook";
    channel.kind = ChannelKind::Webhook;
    const std::string scheme = std::string(portKey) == "HTTPS_PORT" ? "https" : "http";
    channel.url = scheme + "://localhost:" + std::to_string(servers_->Port(portKey)) + path;
    channel.caFile = servers_->Value("CA_FILE");
    channel.connectSeconds = 5;
    channel.totalSeconds = 10;
    return channel;
  }

  test::Exchange Send(const AlertChannel& channel, const AlertEvent& alert) {
    WebhookSender sender;
    return Attempt(sender, channel, alert, Token);
  }
};

TEST_F(WebhookDelivery, PostsTheRenderedBodyWithItsHeaders) {
  AlertChannel channel = Channel("/status/200/generic");
  channel.headers = {"Authorization: Bearer {secret}", "X-Host: {host}", ""};
  const test::Exchange sent = Send(channel, test::SampleAlert("core-1"));
  std::cout << "[ figure   ] webhook over HTTPS: " << sent.seconds * 1000 << " ms\n";
  EXPECT_EQ(sent.result.text, "HTTP 200 OK");
  ASSERT_EQ(sent.receivedItems, 1u);
  const std::map<std::string, std::string> expected = {
      {"tls", "yes"},
      {"method", "POST"},
      {"header.content-type", "application/json"},
      {"header.user-agent", "Kelvoran/" KELVORAN_VERSION},
      {"header.authorization", std::string("Bearer ") + Token},
      {"header.x-host", "core-1"},
      {"json.host", "core-1"},
      {"json.duration", "303"},
      {"json.rtt", ""},
      {"json.time", "2026-12-07T15:50:03-05:30"}};
  for (const auto& [name, value] : expected) EXPECT_EQ(sent.Field(name), value) << name;
}

// What may pass is tried again; what the receiver will say again is not.
// A long answer is cut short; a token in the URL is shown as its placeholder.
TEST_F(WebhookDelivery, EachAnswerHasItsOutcome) {
  const struct {
    std::string path;
    AttemptOutcome outcome;
    std::string text;
  } cases[] = {
      {"/status/204/x", AttemptOutcome::Sent, "HTTP 204 No Content"},
      {"/status/500/x", AttemptOutcome::Failed,
       "HTTP 500 Internal Server Error: answer 500 for /status/500/x"},
      {"/status/429/x", AttemptOutcome::Failed, "HTTP 429 Too Many Requests: answer 429"},
      {"/status/408/x", AttemptOutcome::Failed, "HTTP 408 Request Timeout: answer 408"},
      {"/status/404/x", AttemptOutcome::Rejected, "HTTP 404 Not Found: answer 404"},
      {"/status/301/x", AttemptOutcome::Rejected, "HTTP 301 Moved Permanently: answer 301"},
      {"/status/403/{secret}", AttemptOutcome::Rejected,
       "HTTP 403 Forbidden: answer 403 for /status/403/{secret}"},
      {"/bigerror/x", AttemptOutcome::Failed, "HTTP 500 Internal Server Error: xxxx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const test::Exchange sent = Send(Channel(c.path), test::SampleAlert("core-1"));
    test::ExpectResult(sent, c.outcome, c.text, Token, true);
    EXPECT_LT(sent.result.text.size(), 400u);
  }
}

TEST_F(WebhookDelivery, FailuresBeforeAnAnswerSayWhatHappened) {
  const std::string https = "https://localhost:" + std::to_string(servers_->Port("HTTPS_PORT"));
  const struct {
    const char* name;
    std::string url, caFile, header;
    AttemptOutcome outcome;
    std::string text;
  } cases[] = {
      {"certificate from another CA", https + "/status/200/x", servers_->Value("OTHER_CA_FILE"), "",
       AttemptOutcome::Failed, "the server's certificate is not trusted: "},
      {"the system's store only", https + "/status/200/x", "", "", AttemptOutcome::Failed,
       "the server's certificate is not trusted: "},
      {"nothing listening", "http://127.0.0.1:1/", "", "", AttemptOutcome::Failed,
       "cannot connect: "},
      {"a local file", "file:///etc/passwd", "", "", AttemptOutcome::Rejected,
       "the address cannot be used: "},
      {"not a URL", "http://[::1:/{secret}", "", "", AttemptOutcome::Rejected,
       "the address cannot be used: "},
      {"a header line that is no header", https + "/status/200/x", servers_->Value("CA_FILE"),
       "Bearer {secret}", AttemptOutcome::Rejected,
       "a header line is not \"Name: value\": \"Bearer {secret}\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.caFile.empty() && c.url.starts_with("https") && test::UnderWineWithoutStoreChecks())
      continue;
    AlertChannel channel = Channel("/");
    channel.url = c.url;
    channel.caFile = c.caFile;
    if (!c.header.empty()) channel.headers = {c.header};
    test::ExpectResult(Send(channel, test::SampleAlert("core-1")), c.outcome, c.text, Token, false);
  }
}

// A silent receiver: the attempt ends at its time limit, and soon when the
// program closes rather than at the limit.
TEST_F(WebhookDelivery, ASilentReceiverHoldsAnAttemptNoLongerThanItsLimitOrTheProgram) {
  AlertChannel channel = Channel("/silent/x");
  channel.connectSeconds = 2;
  channel.totalSeconds = 2;
  test::ExpectTimedOutAfterTwoSeconds(Send(channel, test::SampleAlert("core-1")), Token);

  channel.totalSeconds = 30;
  WebhookSender sender;
  std::thread closing([&sender] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sender.StopAttempts();
  });
  const test::Exchange sent = Attempt(sender, channel, test::SampleAlert("core-1"), Token);
  closing.join();
  EXPECT_EQ(sent.result.outcome, AttemptOutcome::Failed) << sent.result.text;
  EXPECT_LT(sent.seconds, 2.5);
}

// Every preset, filled in as the settings dialog would, with a host name
// made to break out: the JSON stays valid and carries the name as it is,
// no header is added, and the host's "{secret}" is not the token.
TEST_F(WebhookDelivery, PresetsStayValidForAHostileHostName) {
  const AlertEvent alert = test::SampleAlert(test::HostileHost);
  for (const WebhookPreset& preset : WebhookPresets()) {
    SCOPED_TRACE(preset.id);
    AlertChannel channel = Channel("/status/200/" + std::string(preset.id), "HTTP_PORT");
    channel.contentType = preset.contentType;
    channel.body = preset.body;
    channel.headers.assign(preset.headers.begin(), preset.headers.end());
    const test::Exchange sent = Send(channel, alert);
    ASSERT_EQ(sent.result.outcome, AttemptOutcome::Sent) << sent.result.text;
    EXPECT_EQ(sent.Field("header.content-type"), preset.contentType);
    EXPECT_EQ(sent.Field("header_names").find("Bcc"), std::string::npos);
    EXPECT_EQ(sent.Field("body").find(Token), std::string::npos);
    if (!IsJsonContentType(preset.contentType)) {
      EXPECT_NE(sent.Field("body").find(Escaped(test::HostileHost, Escaping::PlainText)),
                std::string::npos);
      continue;
    }
    ASSERT_EQ(sent.Field("json_valid"), "yes") << sent.Field("body");
    std::string values;
    for (const auto& [name, value] : sent.item)
      if (name.starts_with("json.")) values += value;
    EXPECT_NE(values.find(test::HostileHost), std::string::npos) << values;
  }
}

}  // namespace
}  // namespace kelvoran
