#include "delivery/webhook_sender.h"

#include <algorithm>
#include <cctype>

#include "alert/webhook_presets.h"
#include "delivery/curl_session.h"

namespace kelvoran {
namespace {

constexpr std::string_view SecretPlaceholder = "{secret}";
// What is kept of an answer's body, and how much of it the log shows.
constexpr std::size_t KeptAnswerBytes = 4096;
constexpr std::size_t ShownAnswerBytes = 300;

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// RFC 9110 token characters, the only ones a header's name may have.
bool IsHeaderName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
}

struct Answer {
  std::string kept;
  // More came than is kept: the transfer was ended on purpose.
  bool cutShort = false;
};

size_t KeepAnswer(char* data, size_t size, size_t count, void* target) {
  auto& answer = *static_cast<Answer*>(target);
  const std::size_t length = size * count;
  const std::size_t room = KeptAnswerBytes - answer.kept.size();
  answer.kept.append(data, std::min(length, room));
  if (length <= room) return length;
  // The status is known by now; the rest of the answer is not waited for.
  answer.cutShort = true;
  return 0;
}

// "HTTP 500 Internal Server Error" from the last status line (after a
// "100 Continue"); HTTP/2 has no reason phrase, leaving "HTTP 500".
std::string StatusText(long status, const std::vector<std::string>& lines) {
  std::string text = "HTTP " + std::to_string(status);
  const auto line = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& header) {
    return header.starts_with("HTTP/");
  });
  if (line == lines.rend()) return text;
  const auto codeStart = line->find(' ');
  const auto reasonStart =
      codeStart == std::string::npos ? codeStart : line->find(' ', codeStart + 1);
  if (reasonStart != std::string::npos)
    text.append(1, ' ').append(LogLine(line->substr(reasonStart + 1), 100));
  return text;
}

AttemptOutcome StatusOutcome(long status) {
  if (status >= 200 && status < 300) return AttemptOutcome::Sent;
  // Timeouts, rate limits and server trouble pass; anything else the
  // receiver said about this request will say again.
  if (status == 408 || status == 429 || status >= 500) return AttemptOutcome::Failed;
  return AttemptOutcome::Rejected;
}

AttemptResult Outcome(CURLcode code, const CurlSession& session, const Answer& answer,
                      const AlertChannel& channel) {
  const long status = session.ResponseCode();
  const bool answered = code == CURLE_OK || (code == CURLE_WRITE_ERROR && answer.cutShort);
  if (!answered || status == 0) return TransportFailure(code, session.ErrorText(code), channel);
  AttemptResult result{.outcome = StatusOutcome(status),
                       .text = StatusText(status, session.ReplyLines())};
  if (result.outcome != AttemptOutcome::Sent && !answer.kept.empty()) {
    result.text += ": " + LogLine(answer.kept, ShownAnswerBytes);
    if (answer.cutShort || answer.kept.size() > ShownAnswerBytes) result.text += "...";
  }
  return result;
}

AttemptResult Problem(std::string text) {
  return {.outcome = AttemptOutcome::Rejected, .text = std::move(text)};
}

AttemptResult Deliver(const AlertChannel& channel, const AlertEvent& alert,
                      const std::string& secret, const std::atomic<bool>& stopping) {
  const bool json = IsJsonContentType(channel.contentType);
  const std::string url = RenderWithSecret(channel.url, alert, Escaping::PlainText, secret);
  const std::string_view bodyTemplate =
      channel.body.empty() ? FindWebhookPreset("generic")->body : channel.body;
  const std::string body = RenderWithSecret(
      bodyTemplate, alert, json ? Escaping::JsonString : Escaping::PlainText, secret);

  CurlList headers;
  bool ownContentType = false;
  for (const std::string& line : channel.headers) {
    const std::string header = RenderWithSecret(line, alert, Escaping::PlainText, secret);
    if (header.find_first_not_of(" \t") == std::string::npos) continue;
    const auto colon = header.find(':');
    if (colon == std::string::npos || !IsHeaderName(header.substr(0, colon))) {
      return Problem("a header line is not \"Name: value\": \"" + LogLine(line, ShownAnswerBytes) +
                     "\"");
    }
    ownContentType = ownContentType || Lowercase(header.substr(0, colon)) == "content-type";
    if (!headers.Append(header))
      return {.outcome = AttemptOutcome::Failed, .text = "out of memory"};
  }
  const std::string contentType =
      "Content-Type: " + Escaped(channel.contentType, Escaping::PlainText);
  // "Expect:" keeps libcurl from waiting for a "100 Continue" that many
  // receivers never send.
  if ((!ownContentType && !headers.Append(contentType)) || !headers.Append("Expect:")) {
    return {.outcome = AttemptOutcome::Failed, .text = "out of memory"};
  }

  CurlSession session(channel, "http,https", stopping);
  CURL* curl = session.Handle();
  if (curl == nullptr) return {.outcome = AttemptOutcome::Failed, .text = "out of memory"};
  Answer answer;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.Get());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Kelvoran/" KELVORAN_VERSION);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &KeepAnswer);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
  return Outcome(session.Perform(), session, answer, channel);
}

}  // namespace

std::string RenderWithSecret(std::string_view text, const AlertEvent& alert, Escaping escaping,
                             const std::string& secret) {
  std::string out;
  std::size_t pieceStart = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    // "{{" and "}}" are escaped braces to the renderer: "{{secret}}" is text.
    if (i + 1 < text.size() && (text[i] == '{' || text[i] == '}') && text[i + 1] == text[i]) {
      i += 2;
    } else if (text.substr(i).starts_with(SecretPlaceholder)) {
      out += RenderAlert(text.substr(pieceStart, i - pieceStart), alert, escaping);
      out += Escaped(secret, escaping);
      i += SecretPlaceholder.size();
      pieceStart = i;
    } else {
      ++i;
    }
  }
  return out + RenderAlert(text.substr(pieceStart), alert, escaping);
}

bool IsJsonContentType(std::string_view contentType) {
  const std::string lower = Lowercase(contentType.substr(0, contentType.find(';')));
  return lower.find("/json") != std::string::npos || lower.find("+json") != std::string::npos;
}

AttemptResult WebhookSender::Send(const AlertChannel& channel, const AlertEvent& alert,
                                  const std::string& secret) {
  return WithoutSecret(Deliver(channel, alert, secret, Stopping()), secret);
}

}  // namespace kelvoran
