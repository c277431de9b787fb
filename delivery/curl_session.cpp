#include "delivery/curl_session.h"

#include <algorithm>
#include <mutex>

namespace kelvoran {
namespace {

constexpr std::size_t MaxReplyLines = 64;
constexpr std::size_t MaxReplyLineBytes = 512;
// A channel's limits are kept between one second (0 means "no limit" to
// libcurl) and an hour.
constexpr std::int32_t LongestLimitSeconds = 3600;

void InitializeCurlOnce() {
  // curl_global_init is not thread-safe; the dispatcher's threads all come
  // through here before their first handle.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long LimitMilliseconds(std::int32_t seconds) {
  return static_cast<long>(std::clamp(seconds, 1, LongestLimitSeconds)) * 1000L;
}

bool IsTlsFailure(CURLcode code) {
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return true;
    default:
      return false;
  }
}

AttemptResult Result(AttemptOutcome outcome, std::string text) {
  return {.outcome = outcome, .text = std::move(text)};
}

}  // namespace

CurlSession::CurlSession(const AlertChannel& channel, const char* protocols,
                         const std::atomic<bool>& stopping)
    : stopping_(stopping) {
  InitializeCurlOnce();
  handle_ = curl_easy_init();
  if (handle_ == nullptr) return;
  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errors_);
  curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(handle_, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  const long total = LimitMilliseconds(channel.totalSeconds);
  curl_easy_setopt(handle_, CURLOPT_TIMEOUT_MS, total);
  curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT_MS,
                   std::min(total, LimitMilliseconds(channel.connectSeconds)));
  // The connection ends with the transfer, under its limit and progress
  // callback. Kept open, libcurl would close it in curl_easy_cleanup through
  // an internal handle that inherits the limit but not the transfer's start:
  // its Schannel backend then counts the time as spent once it has encrypted
  // SMTP's QUIT, never sends it, and sends close_notify out of sequence,
  // which the server takes for a bad record MAC. Each attempt has a handle of
  // its own, so nothing is reused anyway. A server silent after QUIT is given
  // the channel's limit, not libcurl's two minutes.
  curl_easy_setopt(handle_, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(handle_, CURLOPT_SERVER_RESPONSE_TIMEOUT, total / 1000);
  // The system's store: on Linux libcurl's built-in CA paths; on Windows
  // with OpenSSL, NATIVE_CA adds the Windows store (ignored elsewhere).
  long sslOptions = CURLSSLOPT_NATIVE_CA;
  if (!channel.caFile.empty()) {
    curl_easy_setopt(handle_, CURLOPT_CAINFO, channel.caFile.c_str());
    // A private CA seldom publishes revocation lists; Windows' TLS would
    // refuse its certificates for want of one. A certificate known to be
    // revoked is still refused.
    sslOptions |= CURLSSLOPT_REVOKE_BEST_EFFORT;
  }
  curl_easy_setopt(handle_, CURLOPT_SSL_OPTIONS, sslOptions);
  // libcurl calls this at least about once a second, also while the far
  // side is silent.
  curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &CurlSession::OnProgress);
  curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, &CurlSession::OnHeader);
  curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
}

CurlSession::~CurlSession() {
  if (handle_ != nullptr) curl_easy_cleanup(handle_);
}

CURLcode CurlSession::Perform() {
  if (handle_ == nullptr) return CURLE_OUT_OF_MEMORY;
  errors_[0] = '\0';
  return curl_easy_perform(handle_);
}

long CurlSession::ResponseCode() const {
  long code = 0;
  if (handle_ != nullptr) curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

std::string CurlSession::ErrorText(CURLcode code) const {
  return errors_[0] != '\0' ? std::string(errors_) : std::string(curl_easy_strerror(code));
}

// libcurl hands HTTP header lines here, and for SMTP each reply line of the
// server (its "pingpong" replies are written as headers).
size_t CurlSession::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto& lines = static_cast<CurlSession*>(self)->replyLines_;
  std::string_view line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!line.empty()) {
    if (lines.size() == MaxReplyLines) lines.erase(lines.begin());
    lines.emplace_back(line.substr(0, MaxReplyLineBytes));
  }
  return size * count;
}

int CurlSession::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<CurlSession*>(self)->stopping_ ? 1 : 0;
}

AttemptResult TransportFailure(CURLcode code, const std::string& detail,
                               const AlertChannel& channel) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return Result(AttemptOutcome::TimedOut,
                    "no answer within the time limit (" +
                        std::to_string(std::clamp(channel.totalSeconds, 1, LongestLimitSeconds)) +
                        " s): " + detail);
    case CURLE_PEER_FAILED_VERIFICATION:
      return Result(AttemptOutcome::Failed, "the server's certificate is not trusted: " + detail);
    case CURLE_SSL_CACERT_BADFILE:
      return Result(AttemptOutcome::Failed, "the CA file cannot be used: " + detail);
    case CURLE_USE_SSL_FAILED:
      return Result(AttemptOutcome::Failed, "the server does not offer STARTTLS: " + detail);
    case CURLE_COULDNT_RESOLVE_HOST:
      return Result(AttemptOutcome::Failed, "the server's name is not known: " + detail);
    case CURLE_COULDNT_CONNECT:
      return Result(AttemptOutcome::Failed, "cannot connect: " + detail);
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Result(AttemptOutcome::Rejected, "the address cannot be used: " + detail);
    case CURLE_LOGIN_DENIED:
      return Result(AttemptOutcome::Rejected, "login refused: " + detail);
    case CURLE_ABORTED_BY_CALLBACK:
      return Result(AttemptOutcome::Failed, "stopped: Kelvoran was closing");
    default:
      break;
  }
  if (IsTlsFailure(code)) return Result(AttemptOutcome::Failed, "TLS failed: " + detail);
  return Result(AttemptOutcome::Failed, detail);
}

std::string WithoutSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  constexpr std::string_view Mask = "{secret}";
  for (std::size_t at = text.find(secret); at != std::string::npos;
       at = text.find(secret, at + Mask.size())) {
    text.replace(at, secret.size(), Mask);
  }
  return text;
}

AttemptResult WithoutSecret(AttemptResult result, const std::string& secret) {
  result.text = WithoutSecret(std::move(result.text), secret);
  return result;
}

std::string LogLine(std::string_view text, std::size_t limit) {
  if (text.size() > limit) {
    // Back off over UTF-8 continuation bytes (10xxxxxx) to a character start.
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text = text.substr(0, cut);
  }
  std::string line(text);
  std::replace_if(
      line.begin(), line.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
  return line;
}

}  // namespace kelvoran
