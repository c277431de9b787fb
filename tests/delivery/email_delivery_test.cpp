#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "alert/alert_template.h"
#include "delivery/email_message.h"
#include "delivery/email_sender.h"
#include "test_servers.h"

namespace kelvoran {
namespace {

constexpr const char* Password = "s3cret-pass";

class EmailDelivery : public test::ServersTest {
 protected:
  AlertChannel Channel(SmtpSecurity security, const char* portKey) const {
    AlertChannel channel;
    channel.name = "mail";
    channel.kind = ChannelKind::Email;
    channel.server = "localhost";
    channel.port = servers_->Port(portKey);
    channel.security = security;
    channel.user = servers_->Value("SMTP_USER");
    channel.from = "Kelvoran <kelvoran@example.test>";
    channel.recipients = {"ops@example.test", " Team <team@example.test>"};
    channel.caFile = servers_->Value("CA_FILE");
    channel.connectSeconds = 5;
    channel.totalSeconds = 10;
    return channel;
  }

  test::Exchange Send(const AlertChannel& channel, const AlertEvent& alert,
                      const std::string& secret = Password) {
    EmailSender sender;
    return Attempt(sender, channel, alert, secret);
  }
};

TEST_F(EmailDelivery, ArrivesWithItsFieldsInEachSecurityMode) {
  const struct {
    SmtpSecurity security;
    const char* portKey;
    bool auth;
    const char* serverMode;
  } cases[] = {
      {SmtpSecurity::StartTls, "SMTP_STARTTLS_PORT", true, "starttls"},
      {SmtpSecurity::ImplicitTls, "SMTP_TLS_PORT", true, "tls"},
      {SmtpSecurity::Plain, "SMTP_PLAIN_PORT", false, "plain"},
  };
  const AlertEvent alert = test::SampleAlert("core-1");
  std::set<std::string> messageIds;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serverMode);
    AlertChannel channel = Channel(c.security, c.portKey);
    if (!c.auth) channel.user.clear();
    const test::Exchange sent = Send(channel, alert);
    std::cout << "[ figure   ] mail over " << c.serverMode << ": " << sent.seconds * 1000
              << " ms\n";
    EXPECT_EQ(sent.result.text, "250 2.0.0 Queued as kelvoran-test");
    ASSERT_EQ(sent.receivedItems, 1u);
    const std::map<std::string, std::string> expected = {
        {"mode", c.serverMode},
        {"tls", c.security == SmtpSecurity::Plain ? "no" : "yes"},
        {"quit", "yes"},  // within the attempt, and intact: over TLS in sequence
        {"auth_user", c.auth ? servers_->Value("SMTP_USER") : ""},
        {"mail_from", "kelvoran@example.test"},
        {"rcpt", "ops@example.test\nteam@example.test"},
        {"to", "ops@example.test, Team <team@example.test>"},
        {"subject", "core-1 is Request timed out"},
        {"date", "2026-12-07T15:50:03-05:30"},
        {"body", RenderAlert(DefaultEmailBody(alert.kind), alert, Escaping::PlainText)}};
    for (const auto& [name, value] : expected) EXPECT_EQ(sent.Field(name), value) << name;
    EXPECT_TRUE(sent.Field("message_id").ends_with("@example.test>"));
    messageIds.insert(sent.Field("message_id"));
  }
  EXPECT_EQ(messageIds.size(), std::size(cases)) << "each mail its own Message-ID";
}

// A host name made to break out adds no header nor recipient; a long,
// non-ASCII subject and body arrive intact in 7-bit lines SMTP allows.
TEST_F(EmailDelivery, HostileAndLongTextsArriveIntact) {
  AlertChannel channel = Channel(SmtpSecurity::StartTls, "SMTP_STARTTLS_PORT");
  channel.subject = "{host} – {status} – {description}";
  channel.body = "{host}\n{description}\nspaces at the end   \n=3D and a tab\t\n.\n..dots\n";
  AlertEvent alert = test::SampleAlert(test::HostileHost + " Montréal-ü");
  for (int i = 0; i < 40; ++i) alert.description += " naïve 東京 ";
  const test::Exchange sent = Send(channel, alert);
  ASSERT_EQ(sent.result.outcome, AttemptOutcome::Sent) << sent.result.text;
  EXPECT_EQ(sent.Field("header_names"),
            "From\nTo\nSubject\nDate\nMessage-ID\nAuto-Submitted\nMIME-Version\nContent-Type\n"
            "Content-Transfer-Encoding");
  EXPECT_EQ(sent.Field("rcpt"), "ops@example.test\nteam@example.test");
  EXPECT_EQ(sent.Field("subject"), RenderAlert(channel.subject, alert, Escaping::PlainText));
  EXPECT_EQ(sent.Field("body"), RenderAlert(channel.body, alert, Escaping::PlainText));
  EXPECT_EQ(sent.Field("body").find(Password), std::string::npos);
  const std::string data = sent.Field("data");
  for (std::size_t start = 0, end; (end = data.find("\r\n", start)) != std::string::npos;
       start = end + 2)
    EXPECT_LE(end - start, 998u) << data.substr(start, end - start);
  for (const char c : data) ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST_F(EmailDelivery, RefusalsAndFailuresSayWhatHappened) {
  using S = const test::TestServers&;
  const struct {
    const char* name;
    std::function<void(AlertChannel&, S)> change;
    std::string secret;
    AttemptOutcome outcome;
    std::string text;
  } cases[] = {
      {"wrong password", [](AlertChannel&, S) {}, "wrong-password", AttemptOutcome::Rejected,
       "login refused: 535 5.7.8 Authentication credentials invalid"},
      {"refused recipient",
       [](AlertChannel& c, S) { c.recipients.push_back("refused@example.test"); }, Password,
       AttemptOutcome::Rejected,
       "refused: 550 5.1.1 <refused@example.test>: Recipient address rejected"},
      {"recipient deferred", [](AlertChannel& c, S) { c.recipients = {"busy@example.test"}; },
       Password, AttemptOutcome::Failed, "deferred: 450 4.2.1 Mailbox busy, try again later"},
      {"certificate from another CA",
       [](AlertChannel& c, S s) { c.caFile = s.Value("OTHER_CA_FILE"); }, Password,
       AttemptOutcome::Failed, "the server's certificate is not trusted: "},
      {"the system's store only", [](AlertChannel& c, S) { c.caFile.clear(); }, Password,
       AttemptOutcome::Failed, "the server's certificate is not trusted: "},
      {"STARTTLS not offered", [](AlertChannel& c, S s) { c.port = s.Port("SMTP_PLAIN_PORT"); },
       Password, AttemptOutcome::Failed, "the server does not offer STARTTLS: "},
      {"server name with a path", [](AlertChannel& c, S) { c.server = "127.0.0.1/x"; }, Password,
       AttemptOutcome::Rejected, "the mail server's name cannot be used: \"127.0.0.1/x\""},
      {"no port", [](AlertChannel& c, S) { c.port = 0; }, Password, AttemptOutcome::Rejected,
       "the mail server's port is not set"},
      {"no recipient", [](AlertChannel& c, S) { c.recipients = {" "}; }, Password,
       AttemptOutcome::Rejected, "no recipient is set"},
      {"line break in a recipient",
       [](AlertChannel& c, S) { c.recipients = {"ops@example.test\r\nRCPT TO:<x@y>"}; }, Password,
       AttemptOutcome::Rejected, "a recipient address holds a line break"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AlertChannel channel = Channel(SmtpSecurity::StartTls, "SMTP_STARTTLS_PORT");
    c.change(channel, *servers_);
    if (channel.caFile.empty() && test::UnderWineWithoutStoreChecks()) continue;
    test::ExpectResult(Send(channel, test::SampleAlert("core-1"), c.secret), c.outcome, c.text,
                       c.secret, false);
  }
}

TEST_F(EmailDelivery, ServerThatNeverAnswersTimesOutWithinTheLimit) {
  AlertChannel channel = Channel(SmtpSecurity::StartTls, "SMTP_SILENT_PORT");
  channel.connectSeconds = 2;
  channel.totalSeconds = 2;
  test::ExpectTimedOutAfterTwoSeconds(Send(channel, test::SampleAlert("core-1")), Password);
}

}  // namespace
}  // namespace kelvoran
