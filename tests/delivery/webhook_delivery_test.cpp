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

using test::Field;
using test::OutcomeName;

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
    return test::Attempt(sender, *servers_, channel, alert, Token);
  }
};

TEST_F(WebhookDelivery, PostsTheRenderedBodyWithItsHeaders) {
  AlertChannel channel = Channel("/status/200/generic");
  channel.headers = {"Authorization: Bearer {secret}", "X-Host: {host}", ""};
  const test::Exchange sent = Send(channel, test::SampleAlert("core-1"));
  ASSERT_EQ(sent.result.outcome, AttemptOutcome::Sent) << sent.result.text;
  std::cout << "[ figure   ] webhook over HTTPS: " << sent.seconds * 1000 << " ms\n";
  EXPECT_EQ(sent.result.text, "HTTP 200 OK");
  ASSERT_EQ(sent.receivedItems, 1u);
  const auto& request = sent.item;
  test::ExpectFields(request, {{"tls", "yes"},
                               {"method", "POST"},
                               {"header.content-type", "application/json"},
                               {"header.user-agent", "Kelvoran/" KELVORAN_VERSION},
                               {"header.authorization", std::string("Bearer ") + Token},
                               {"header.x-host", "core-1"},
                               {"json_valid", "yes"},
                               {"json.event", "down"},
                               {"json.host", "core-1"},
                               {"json.status", "Request timed out"},
                               {"json.duration", "303"},
                               {"json.loss", "12"},
                               {"json.rtt", ""},
                               {"json.time", "2026-12-07T15:50:03-05:30"}});
}

struct AnswerCase {
  std::string path;
  AttemptOutcome outcome;
  std::string text;
};

TEST_F(WebhookDelivery, EachAnswerHasItsOutcome) {
  const std::vector<AnswerCase> cases = {
      {"/status/204/x", AttemptOutcome::Sent, "HTTP 204 No Content"},
      {"/status/500/x", AttemptOutcome::Failed,
       "HTTP 500 Internal Server Error: answer 500 for /status/500/x"},
      {"/status/503/x", AttemptOutcome::Failed, "HTTP 503 Service Unavailable: answer 503"},
      {"/status/429/x", AttemptOutcome::Failed, "HTTP 429 Too Many Requests: answer 429"},
      {"/status/408/x", AttemptOutcome::Failed, "HTTP 408 Request Timeout: answer 408"},
      {"/status/404/x", AttemptOutcome::Rejected, "HTTP 404 Not Found: answer 404"},
      {"/status/401/x", AttemptOutcome::Rejected, "HTTP 401 Unauthorized: answer 401"},
      {"/status/301/x", AttemptOutcome::Rejected, "HTTP 301 Moved Permanently: answer 301"},
      // The token in the URL comes back in the answer; the log shows its
      // placeholder.
      {"/status/403/{secret}", AttemptOutcome::Rejected,
       "HTTP 403 Forbidden: answer 403 for /status/403/{secret}"},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.path);
    const test::Exchange sent = Send(Channel(c.path), test::SampleAlert("core-1"));
    test::ExpectResult(sent, c.outcome, c.text, Token);
    EXPECT_EQ(sent.receivedItems, 1u);
  }
}

TEST_F(WebhookDelivery, AServerErrorIsRetriedAndThenDelivered) {
  const AlertChannel channel = Channel("/flaky/once");
  const test::Exchange first = Send(channel, test::SampleAlert("core-1"));
  EXPECT_STREQ(OutcomeName(first.result.outcome), "Failed");
  EXPECT_EQ(first.result.text, "HTTP 500 Internal Server Error: server busy");
  const test::Exchange second = Send(channel, test::SampleAlert("core-1"));
  EXPECT_STREQ(OutcomeName(second.result.outcome), "Sent");
  EXPECT_EQ(first.receivedItems + second.receivedItems, 2u);
}

TEST_F(WebhookDelivery, ALongAnswerIsCutShort) {
  const test::Exchange sent = Send(Channel("/bigerror/x"), test::SampleAlert("core-1"));
  EXPECT_STREQ(OutcomeName(sent.result.outcome), "Failed");
  EXPECT_TRUE(sent.result.text.starts_with("HTTP 500 Internal Server Error: xxxx"));
  EXPECT_TRUE(sent.result.text.ends_with("xxx..."));
  EXPECT_LT(sent.result.text.size(), 400u);
}

TEST_F(WebhookDelivery, FailuresBeforeAnAnswerSayWhatHappened) {
  struct FailureCase {
    const char* name;
    std::string url;
    std::string caFile;
    AttemptOutcome outcome;
    std::string text;
  };
  const std::string https = "https://localhost:" + std::to_string(servers_->Port("HTTPS_PORT"));
  const std::vector<FailureCase> cases = {
      {"certificate from another CA", https + "/status/200/x", servers_->Value("OTHER_CA_FILE"),
       AttemptOutcome::Failed, "the server's certificate is not trusted: "},
      {"the system's store only", https + "/status/200/x", "", AttemptOutcome::Failed,
       "the server's certificate is not trusted: "},
      {"nothing listening", "http://127.0.0.1:1/", "", AttemptOutcome::Failed, "cannot connect: "},
      {"another protocol", "ftp://127.0.0.1:1/", "", AttemptOutcome::Rejected,
       "the address cannot be used: "},
      {"a local file", "file:///etc/passwd", "", AttemptOutcome::Rejected,
       "the address cannot be used: "},
      {"not a URL", "http://[::1:/{secret}", "", AttemptOutcome::Rejected,
       "the address cannot be used: "},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.caFile.empty() && c.url.starts_with("https") && test::UnderWineWithoutStoreChecks())
      continue;
    AlertChannel channel = Channel("/");
    channel.url = c.url;
    channel.caFile = c.caFile;
    test::ExpectUndelivered(Send(channel, test::SampleAlert("core-1")), c.outcome, c.text, Token);
  }
}

TEST_F(WebhookDelivery, AHeaderLineThatIsNoHeaderIsRejected) {
  AlertChannel channel = Channel("/status/200/x");
  channel.headers = {"Bearer {secret}"};
  test::ExpectUndelivered(Send(channel, test::SampleAlert("core-1")), AttemptOutcome::Rejected,
                          "a header line is not \"Name: value\": \"Bearer {secret}\"", Token);
}

TEST_F(WebhookDelivery, ReceiverThatNeverAnswersTimesOutWithinTheLimit) {
  AlertChannel channel = Channel("/silent/x");
  channel.connectSeconds = 2;
  channel.totalSeconds = 2;
  test::ExpectTimedOutAfterTwoSeconds(Send(channel, test::SampleAlert("core-1")), Token);
}

// Closing the program does not wait out a silent receiver's time limit.
TEST_F(WebhookDelivery, AnAttemptToASilentReceiverEndsSoonWhenTheProgramCloses) {
  AlertChannel channel = Channel("/silent/closing");
  channel.totalSeconds = 30;
  WebhookSender sender;
  std::thread closing([&sender] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sender.StopAttempts();
  });
  const test::Exchange sent =
      test::Attempt(sender, *servers_, channel, test::SampleAlert("core-1"), Token);
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
    const auto& request = sent.item;
    EXPECT_EQ(Field(request, "header.content-type"), preset.contentType);
    EXPECT_EQ(Field(request, "header_names").find("Bcc"), std::string::npos);
    EXPECT_EQ(Field(request, "body").find(Token), std::string::npos);
    if (IsJsonContentType(preset.contentType)) {
      ASSERT_EQ(Field(request, "json_valid"), "yes") << Field(request, "body");
      std::string values;
      for (const auto& [name, value] : request) {
        if (name.starts_with("json.")) values += value;
      }
      EXPECT_NE(values.find(test::HostileHost), std::string::npos) << values;
    } else {
      EXPECT_NE(Field(request, "body").find(Escaped(test::HostileHost, Escaping::PlainText)),
                std::string::npos);
    }
  }
  ASSERT_NE(FindWebhookPreset("gotify"), nullptr);
}

TEST_F(WebhookDelivery, GotifyPresetSendsTheTokenInItsHeader) {
  const WebhookPreset& gotify = *FindWebhookPreset("gotify");
  AlertChannel channel = Channel("/status/200/message");
  channel.contentType = gotify.contentType;
  channel.body = gotify.body;
  channel.headers.assign(gotify.headers.begin(), gotify.headers.end());
  const test::Exchange sent = Send(channel, test::SampleAlert("core-1"));
  ASSERT_EQ(sent.result.outcome, AttemptOutcome::Sent) << sent.result.text;
  EXPECT_EQ(Field(sent.item, "header.x-gotify-key"), Token);
  EXPECT_EQ(Field(sent.item, "json.title"), "core-1 is Request timed out");
  EXPECT_EQ(Field(sent.item, "json.priority"), "8");
}

}  // namespace
}  // namespace kelvoran
