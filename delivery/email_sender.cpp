#include "delivery/email_sender.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <memory>

#include "delivery/curl_session.h"
#include "delivery/email_message.h"

namespace kelvoran {
namespace {

constexpr std::size_t LongestServerText = 300;

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// Characters that would make the server's name part of another URL piece.
bool IsUsableServerName(std::string_view server) {
  return !server.empty() && server.find_first_of("/\\@?#% \t\r\n") == std::string_view::npos;
}

// The name this computer gives in EHLO: the monitoring computer's name when
// it is a plain host name, else the neutral "localhost" that libcurl uses.
std::string HeloName(const AlertEvent& alert) {
  const bool plain =
      !alert.computer.empty() &&
      std::all_of(alert.computer.begin(), alert.computer.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.';
      });
  return plain ? alert.computer : "localhost";
}

// smtp[s]://server:port/helo, built by libcurl's URL parser so that an IPv6
// address or an odd name is either written correctly or refused.
std::string SmtpUrl(const AlertChannel& channel, const AlertEvent& alert) {
  if (!IsUsableServerName(channel.server)) return {};
  const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  const bool ipv6 = channel.server.find(':') != std::string::npos && channel.server[0] != '[';
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a
  // literal put before a string.
  const std::string host =
      ipv6 ? std::string(1, '[').append(channel.server).append(1, ']') : channel.server;
  const char* scheme = channel.security == SmtpSecurity::ImplicitTls ? "smtps" : "smtp";
  const std::string path = std::string(1, '/').append(HeloName(alert));
  char* text = nullptr;
  if (!url || curl_url_set(url.get(), CURLUPART_SCHEME, scheme, 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_PORT, std::to_string(channel.port).c_str(), 0) !=
          CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK ||
      curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) {
    return {};
  }
  std::string result(text);
  curl_free(text);
  return result;
}

struct Upload {
  std::string_view rest;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* source) {
  auto& upload = *static_cast<Upload*>(source);
  const std::size_t length = std::min(size * count, upload.rest.size());
  std::memcpy(buffer, upload.rest.data(), length);
  upload.rest.remove_prefix(length);
  return length;
}

// The server's first refusal or deferral (libcurl stops at it), else its
// last reply before the "221" that answers QUIT.
std::string ServerReply(const std::vector<std::string>& lines) {
  const auto refusal = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return !line.empty() && (line[0] == '4' || line[0] == '5');
  });
  if (refusal != lines.end()) return LogLine(*refusal, LongestServerText);
  auto end = lines.end();
  if (end != lines.begin() && std::prev(end)->starts_with("221")) --end;
  return end == lines.begin() ? std::string() : LogLine(*std::prev(end), LongestServerText);
}

AttemptResult Outcome(CURLcode code, const CurlSession& session, const AlertChannel& channel) {
  const std::string reply = ServerReply(session.ReplyLines());
  if (code == CURLE_OK) return {.outcome = AttemptOutcome::Sent, .text = reply};
  const long replyCode = session.ResponseCode();
  if (code == CURLE_LOGIN_DENIED) {
    return {.outcome = AttemptOutcome::Rejected,
            .text = "login refused: " + (replyCode >= 400 ? reply : session.ErrorText(code))};
  }
  if (code != CURLE_OPERATION_TIMEDOUT && replyCode >= 400 && replyCode < 600) {
    // 5xx: a permanent refusal (RFC 5321 section 4.2.1); 4xx: try later.
    return {.outcome = replyCode >= 500 ? AttemptOutcome::Rejected : AttemptOutcome::Failed,
            .text = (replyCode >= 500 ? "refused: " : "deferred: ") + reply};
  }
  return TransportFailure(code, session.ErrorText(code), channel);
}

AttemptResult Deliver(const AlertChannel& channel, const AlertEvent& alert,
                      const std::string& secret, const std::atomic<bool>& stopping) {
  const EmailMessage mail = ComposeEmail(channel, alert, NewMessageId(channel.from, alert));
  if (!mail.problem.empty()) return {.outcome = AttemptOutcome::Rejected, .text = mail.problem};
  if (channel.port == 0) {
    return {.outcome = AttemptOutcome::Rejected, .text = "the mail server's port is not set"};
  }
  const std::string url = SmtpUrl(channel, alert);
  if (url.empty()) {
    return {
        .outcome = AttemptOutcome::Rejected,
        .text = "the mail server's name cannot be used: \"" + LogLine(channel.server, 100) + "\""};
  }
  CurlSession session(channel, "smtp,smtps", stopping);
  CURL* curl = session.Handle();
  if (curl == nullptr) return {.outcome = AttemptOutcome::Failed, .text = "out of memory"};

  CurlList recipients;
  for (const std::string& recipient : mail.recipients) {
    if (!recipients.Append(recipient))
      return {.outcome = AttemptOutcome::Failed, .text = "out of memory"};
  }
  Upload upload{mail.text};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USE_SSL,
                   static_cast<long>(channel.security == SmtpSecurity::Plain ? CURLUSESSL_NONE
                                                                             : CURLUSESSL_ALL));
  if (!channel.user.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, channel.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, secret.c_str());
    // Only these two: a server that also offers GSSAPI or NTLM would
    // otherwise be tried with those first and fail without a ticket.
    curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
  }
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mail.envelopeFrom.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.Get());
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadMessage);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.text.size()));
  return Outcome(session.Perform(), session, channel);
}

}  // namespace

AttemptResult EmailSender::Send(const AlertChannel& channel, const AlertEvent& alert,
                                const std::string& secret) {
  return WithoutSecret(Deliver(channel, alert, secret, Stopping()), secret);
}

}  // namespace kelvoran
