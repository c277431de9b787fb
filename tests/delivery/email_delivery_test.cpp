#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "alert/alert_template.h"
#include "delivery/email_message.h"
#include "delivery/email_sender.h"
#include "test_servers.h"

namespace kelvoran {
namespace {

using test::Field;

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
    return test::Attempt(sender, *servers_, channel, alert, secret);
  }
};

struct ModeCase {
  const char* name;
  SmtpSecurity security;
  const char* portKey;
  bool auth;
  const char* serverMode;
  const char* tls;
  // Empty: either of the two the server offers.
  const char* mechanism;
};

TEST_F(EmailDelivery, ArrivesWithItsFieldsInEachSecurityMode) {
  const std::vector<ModeCase> cases = {
      {"STARTTLS, AUTH", SmtpSecurity::StartTls, "SMTP_STARTTLS_PORT", true, "starttls", "yes", ""},
      {"implicit TLS, AUTH PLAIN", SmtpSecurity::ImplicitTls, "SMTP_TLS_PORT", true, "tls", "yes",
       "PLAIN"},
      {"plain, AUTH LOGIN", SmtpSecurity::Plain, "SMTP_PLAIN_PORT", true, "plain", "no", "LOGIN"},
      {"plain, no AUTH", SmtpSecurity::Plain, "SMTP_PLAIN_PORT", false, "plain", "no", ""},
  };
  const AlertEvent alert = test::SampleAlert("core-1");
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    AlertChannel channel = Channel(c.security, c.portKey);
    if (!c.auth) channel.user.clear();
    const test::Exchange sent = Send(channel, alert);
    ASSERT_EQ(sent.result.outcome, AttemptOutcome::Sent) << sent.result.text;
    std::cout << "[ figure   ] mail over " << c.name << ": " << sent.seconds * 1000 << " ms\n";
    EXPECT_EQ(sent.result.text, "250 2.0.0 Queued as kelvoran-test");
    ASSERT_EQ(sent.receivedItems, 1u);
    const auto& mail = sent.item;
    test::ExpectFields(
        mail, {{"mode", c.serverMode},
               {"tls", c.tls},
               // Within the attempt, and intact: over TLS in sequence.
               {"quit", "yes"},
               {"auth_user", c.auth ? servers_->Value("SMTP_USER") : ""},
               {"mail_from", "kelvoran@example.test"},
               {"rcpt", "ops@example.test\nteam@example.test"},
               {"from", "Kelvoran <kelvoran@example.test>"},
               {"to", "ops@example.test, Team <team@example.test>"},
               {"subject", "core-1 is Request timed out"},
               {"date", "2026-12-07T15:50:03-05:30"},
               {"content_type", "text/plain"},
               {"charset", "utf-8"},
               {"body", RenderAlert(DefaultEmailBody(alert.kind), alert, Escaping::PlainText)}});
    if (*c.mechanism != '\0') test::ExpectFields(mail, {{"auth_mechanism", c.mechanism}});
    EXPECT_TRUE(Field(mail, "message_id").ends_with("@example.test>")) << Field(mail, "message_id");
  }
}

TEST_F(EmailDelivery, EachMailHasItsOwnMessageId) {
  const AlertChannel channel = Channel(SmtpSecurity::Plain, "SMTP_PLAIN_PORT");
  const test::Exchange first = Send(channel, test::SampleAlert("core-1"));
  const test::Exchange second = Send(channel, test::SampleAlert("core-1"));
  ASSERT_EQ(first.receivedItems + second.receivedItems, 2u);
  EXPECT_NE(Field(first.item, "message_id"), Field(second.item, "message_id"));
}

TEST_F(EmailDelivery, UnicodeSubjectAndLongLinesArriveIntact) {
  AlertChannel channel = Channel(SmtpSecurity::StartTls, "SMTP_STARTTLS_PORT");
  channel.subject = "{host} – {status} – {description}";
  channel.body = "{description}\nspaces at the end   \n=3D and a tab\t\n.\n..dots\n";
  AlertEvent alert = test::SampleAlert("Serveur-Montréal-ü");
  for (int i = 0; i < 40; ++i) alert.description += " naïve 東京 ";
  const test::Exchange sent = Send(channel, alert);
  ASSERT_EQ(sent.result.outcome, AttemptOutcome::Sent) << sent.result.text;
  EXPECT_EQ(Field(sent.item, "subject"), RenderAlert(channel.subject, alert, Escaping::PlainText));
  EXPECT_EQ(Field(sent.item, "body"), RenderAlert(channel.body, alert, Escaping::PlainText));
  // Every line as sent fits the 998 characters SMTP allows, and is 7-bit.
  const std::string data = Field(sent.item, "data");
  std::size_t lineStart = 0;
  for (std::size_t end = data.find("\r\n"); end != std::string::npos;
       lineStart = end + 2, end = data.find("\r\n", lineStart)) {
    EXPECT_LE(end - lineStart, 998u) << data.substr(lineStart, end - lineStart);
  }
  for (const char c : data) ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST_F(EmailDelivery, HostileHostNameAddsNoHeaderNorRecipient) {
  AlertChannel channel = Channel(SmtpSecurity::Plain, "SMTP_PLAIN_PORT");
  channel.subject = "{host} {description}";
  const AlertEvent alert = test::SampleAlert(test::HostileHost);
  const test::Exchange sent = Send(channel, alert);
  ASSERT_EQ(sent.result.outcome, AttemptOutcome::Sent) << sent.result.text;
  EXPECT_EQ(Field(sent.item, "header_names"),
            "From\nTo\nSubject\nDate\nMessage-ID\nAuto-Submitted\nMIME-Version\nContent-Type\n"
            "Content-Transfer-Encoding");
  EXPECT_EQ(Field(sent.item, "rcpt"), "ops@example.test\nteam@example.test");
  EXPECT_EQ(Field(sent.item, "subject"),
            "gw\"'\\;$(reboot)`id`  Bcc: victim@example.test {secret} Core router");
  EXPECT_EQ(Field(sent.item, "body").find(Password), std::string::npos);
}

struct FailureCase {
  const char* name;
  std::function<void(AlertChannel&, const test::TestServers&)> change;
  std::string secret;
  AttemptOutcome outcome;
  std::string text;
};

TEST_F(EmailDelivery, RefusalsAndFailuresSayWhatHappened) {
  using S = const test::TestServers&;
  const std::vector<FailureCase> cases = {
      {"wrong password", [](AlertChannel&, S) {}, "wrong-password", AttemptOutcome::Rejected,
       "login refused: 535 5.7.8 Authentication credentials invalid"},
      {"refused recipient",
       [](AlertChannel& c, S) { c.recipients.push_back("refused@example.test"); }, Password,
       AttemptOutcome::Rejected,
       "refused: 550 5.1.1 <refused@example.test>: Recipient address rejected"},
      {"recipient deferred", [](AlertChannel& c, S) { c.recipients = {"busy@example.test"}; },
       Password, AttemptOutcome::Failed, "deferred: 450 4.2.1 Mailbox busy, try again later"},
      {"certificate from another CA, STARTTLS",
       [](AlertChannel& c, S s) { c.caFile = s.Value("OTHER_CA_FILE"); }, Password,
       AttemptOutcome::Failed, "the server's certificate is not trusted: "},
      {"certificate from another CA, implicit TLS",
       [](AlertChannel& c, S s) {
         c.security = SmtpSecurity::ImplicitTls;
         c.port = s.Port("SMTP_TLS_PORT");
         c.caFile = s.Value("OTHER_CA_FILE");
       },
       Password, AttemptOutcome::Failed, "the server's certificate is not trusted: "},
      {"the system's store only", [](AlertChannel& c, S) { c.caFile.clear(); }, Password,
       AttemptOutcome::Failed, "the server's certificate is not trusted: "},
      {"STARTTLS not offered", [](AlertChannel& c, S s) { c.port = s.Port("SMTP_PLAIN_PORT"); },
       Password, AttemptOutcome::Failed, "the server does not offer STARTTLS: "},
      {"nothing listening", [](AlertChannel& c, S) { c.port = 1; }, Password,
       AttemptOutcome::Failed, "cannot connect: "},
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
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    AlertChannel channel = Channel(SmtpSecurity::StartTls, "SMTP_STARTTLS_PORT");
    c.change(channel, *servers_);
    if (channel.caFile.empty() && test::UnderWineWithoutStoreChecks()) continue;
    test::ExpectUndelivered(Send(channel, test::SampleAlert("core-1"), c.secret), c.outcome, c.text,
                            c.secret);
  }
}

TEST_F(EmailDelivery, ServerThatNeverAnswersTimesOutWithinTheLimit) {
  for (const SmtpSecurity security : {SmtpSecurity::StartTls, SmtpSecurity::ImplicitTls}) {
    AlertChannel channel = Channel(security, "SMTP_SILENT_PORT");
    channel.connectSeconds = 2;
    channel.totalSeconds = 2;
    test::ExpectTimedOutAfterTwoSeconds(Send(channel, test::SampleAlert("core-1")), Password);
  }
}

}  // namespace
}  // namespace kelvoran
