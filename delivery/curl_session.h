#pragma once

#include <curl/curl.h>

#include <atomic>
#include <string>
#include <vector>

#include "alert/alert_channel.h"
#include "alert/dispatch_queue.h"

namespace kelvoran {

// One libcurl easy handle for one delivery attempt, set up for the channel:
// its connect and total time limits, only the given protocols (also after a
// redirect), no signals (the dispatcher's threads share the process), and the
// channel's CA file trusted besides the system's store. Each attempt gets a
// fresh handle, so nothing of one alert's connection leaks into the next.
class CurlSession {
 public:
  // protocols: libcurl's comma-separated list, e.g. "http,https". The
  // transfer ends early once `stopping` is set.
  CurlSession(const AlertChannel& channel, const char* protocols,
              const std::atomic<bool>& stopping);
  ~CurlSession();
  CurlSession(const CurlSession&) = delete;
  CurlSession& operator=(const CurlSession&) = delete;

  // Null when libcurl could not make a handle (out of memory).
  CURL* Handle() const { return handle_; }
  CURLcode Perform();

  // The server's reply code (SMTP or HTTP), 0 when none came.
  long ResponseCode() const;
  // The header lines received (for SMTP: the server's reply lines), without
  // line ends; bounded in count and length.
  const std::vector<std::string>& ReplyLines() const { return replyLines_; }
  // libcurl's own words for the failure, or the code's general text.
  std::string ErrorText(CURLcode code) const;

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

  CURL* handle_ = nullptr;
  char errors_[CURL_ERROR_SIZE] = {};
  std::vector<std::string> replyLines_;
  const std::atomic<bool>& stopping_;
};

// A libcurl string list (recipients, header lines), freed with its owner.
class CurlList {
 public:
  CurlList() = default;
  ~CurlList() { curl_slist_free_all(head_); }
  CurlList(const CurlList&) = delete;
  CurlList& operator=(const CurlList&) = delete;

  // False when out of memory; the list is then as it was.
  bool Append(const std::string& item) {
    curl_slist* head = curl_slist_append(head_, item.c_str());
    if (head == nullptr) return false;
    head_ = head;
    return true;
  }
  curl_slist* Get() const { return head_; }

 private:
  curl_slist* head_ = nullptr;
};

// The result of an attempt that libcurl ended before an answer could be
// judged: time limits give TimedOut, an address that cannot work Rejected,
// everything else (no connection, TLS, a certificate not trusted) Failed.
AttemptResult TransportFailure(CURLcode code, const std::string& detail,
                               const AlertChannel& channel);

// The text with every occurrence of the secret replaced, so that a server
// echoing a request cannot put a token into the log.
std::string WithoutSecret(std::string text, const std::string& secret);
AttemptResult WithoutSecret(AttemptResult result, const std::string& secret);

// At most limit bytes of the text, cut at a UTF-8 character boundary,
// control characters as spaces: a server's words as one log line.
std::string LogLine(std::string_view text, std::size_t limit);

}  // namespace kelvoran
