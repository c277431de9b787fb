// libcurl with Schannel, as the Windows alert senders use it, against the
// TLS servers of tls_servers.py on loopback: curl_windows_check.sh starts
// them and passes their ports and the test CA's file in the environment.
// What Schannel under Wine does differently from Windows is marked so.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The name the servers' certificates carry, resolved to loopback for every
// server's port by CURLOPT_RESOLVE, so the client also sends it as SNI.
constexpr std::string_view kServerName = "kelvoran-check.test";

std::string Port(std::string_view server) {
  std::string variable = "KELVORAN_PORT_";
  std::transform(server.begin(), server.end(), std::back_inserter(variable),
                 [](char c) { return static_cast<char>(std::toupper(c)); });
  return Environment(variable.c_str());
}

std::string Url(std::string_view scheme, std::string_view host, std::string_view server) {
  return std::string(scheme) + "://" + std::string(host) + ":" + Port(server) + "/";
}

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using List = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

List Append(List list, const std::string& item) {
  curl_slist* longer = curl_slist_append(list.get(), item.c_str());
  if (longer != nullptr) {
    static_cast<void>(list.release());
    list.reset(longer);
  }
  return list;
}

List LoopbackNames() {
  List names{nullptr, curl_slist_free_all};
  for (const char* server : {"https", "stranger", "smtps", "starttls"}) {
    names = Append(std::move(names), std::string(kServerName) + ":" + Port(server) + ":127.0.0.1");
  }
  return names;
}

// How a sender sets up TLS: the CA file, and what Schannel makes of
// revocation, which it cannot check for a CA that publishes no CRL.
struct Trust {
  bool caFile = true;
  long sslOptions = CURLSSLOPT_NO_REVOKE;
};

struct Outcome {
  CURLcode code = CURLE_OK;
  std::string error;  // CURLOPT_ERRORBUFFER
  std::string body;
  std::string headers;
};

size_t AppendText(char* data, size_t size, size_t count, void* text) {
  static_cast<std::string*>(text)->append(data, size * count);
  return size * count;
}

size_t ReadText(char* buffer, size_t size, size_t count, void* source) {
  auto& text = *static_cast<std::string_view*>(source);
  const size_t length = text.copy(buffer, size * count);
  text.remove_prefix(length);
  return length;
}

class Transfer {
 public:
  Transfer(const std::string& url, const Trust& trust) {
    curl_easy_setopt(easy_.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_.get(), CURLOPT_RESOLVE, names_.get());
    curl_easy_setopt(easy_.get(), CURLOPT_ERRORBUFFER, error_);
    curl_easy_setopt(easy_.get(), CURLOPT_TIMEOUT, 20L);
    if (trust.caFile) {
      curl_easy_setopt(easy_.get(), CURLOPT_CAINFO, caFile_.c_str());
    }
    curl_easy_setopt(easy_.get(), CURLOPT_SSL_OPTIONS, trust.sslOptions);
    curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, AppendText);
    curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, &outcome_.body);
    curl_easy_setopt(easy_.get(), CURLOPT_HEADERFUNCTION, AppendText);
    curl_easy_setopt(easy_.get(), CURLOPT_HEADERDATA, &outcome_.headers);
  }

  CURL* get() { return easy_.get(); }

  Outcome Perform() {
    outcome_.code = curl_easy_perform(easy_.get());
    outcome_.error = error_;
    return outcome_;
  }

 private:
  Easy easy_{curl_easy_init(), curl_easy_cleanup};
  List names_ = LoopbackNames();
  std::string caFile_ = Environment("KELVORAN_CA_FILE");
  char error_[CURL_ERROR_SIZE] = {};
  Outcome outcome_;
};

Outcome Post(const std::string& url, const Trust& trust, const std::string& body) {
  Transfer transfer(url, trust);
  curl_easy_setopt(transfer.get(), CURLOPT_POSTFIELDS, body.c_str());
  return transfer.Perform();
}

struct HttpsCase {
  const char* name;
  std::string url;
  Trust trust;
  CURLcode expected;
};

TEST(CurlWindows, HttpsTrustedAndRefusedServers) {
  const std::string trusted = Url("https", kServerName, "https");
  const std::string stranger = Url("https", kServerName, "stranger");
  const std::vector<HttpsCase> cases = {
      {"the test CA's server, CA file given", trusted, {}, CURLE_OK},
      {"the same, revocation best effort",
       trusted,
       {true, CURLSSLOPT_REVOKE_BEST_EFFORT},
       CURLE_OK},
      {"another CA's server", stranger, {}, CURLE_PEER_FAILED_VERIFICATION},
      {"a name not on the certificate",
       Url("https", "localhost", "https"),
       {},
       CURLE_PEER_FAILED_VERIFICATION},
      // curl 7.88's own check matches DNS names only, not IP address entries.
      {"the certificate's IP address",
       Url("https", "127.0.0.1", "https"),
       {},
       CURLE_PEER_FAILED_VERIFICATION},
      // Wine only: Windows fails for want of a CRL (CRYPT_E_NO_REVOCATION_CHECK).
      {"revocation checked, no CRL", trusted, {true, 0}, CURLE_OK},
      // Wine only: without a CA file curl leaves the check to Schannel, which
      // under Wine accepts any certificate.
      {"another CA's server, no CA file", stranger, {false, 0}, CURLE_OK},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Post(c.url, c.trust, "{\"alert\":\"down\"}");
    EXPECT_EQ(outcome.code, c.expected) << c.name << ": " << outcome.error;
  }
}

TEST(CurlWindows, HttpsPostArrivesOverTls12WithServerName) {
  const std::string body = "{\"host\":\"gateway\",\"state\":\"down\"}";
  const Outcome outcome = Post(Url("https", kServerName, "https"), {}, body);
  ASSERT_EQ(outcome.code, CURLE_OK) << outcome.error;
  EXPECT_EQ(outcome.body, body);
  // curl 7.88 asks Schannel for TLS 1.3 only from Windows 11 / Server 2022
  // on; Wine reports Windows 10, so TLS 1.2 is what is negotiated.
  EXPECT_NE(outcome.headers.find("X-TLS-Version: TLSv1.2"), std::string::npos) << outcome.headers;
  EXPECT_NE(outcome.headers.find("X-Server-Name: ['kelvoran-check.test']"), std::string::npos)
      << outcome.headers;
}

Outcome SendMail(const std::string& url, long useSsl, std::string_view text) {
  Transfer transfer(url, {});
  List recipients = Append({nullptr, curl_slist_free_all}, "<ops@kelvoran-check.test>");
  curl_easy_setopt(transfer.get(), CURLOPT_MAIL_FROM, "<monitor@kelvoran-check.test>");
  curl_easy_setopt(transfer.get(), CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(transfer.get(), CURLOPT_READFUNCTION, ReadText);
  curl_easy_setopt(transfer.get(), CURLOPT_READDATA, &text);
  curl_easy_setopt(transfer.get(), CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(transfer.get(), CURLOPT_USE_SSL, useSsl);
  return transfer.Perform();
}

constexpr std::string_view kHeaders =
    "From: <monitor@kelvoran-check.test>\r\nTo: <ops@kelvoran-check.test>\r\n"
    "Subject: host down\r\n";
constexpr std::string_view kBody = "\r\nThe host is down.\r\n";

struct MailCase {
  const char* name;
  std::string url;
  long useSsl;
  std::string text;
  CURLcode expected;
};

TEST(CurlWindows, MailOverSmtpsAndStartTls) {
  // The server accepts a mail only with the marker header in its text.
  const std::string marked =
      std::string(kHeaders) + "X-Kelvoran-Check: delivered\r\n" + std::string(kBody);
  const std::string smtps = Url("smtps", kServerName, "smtps");
  const std::vector<MailCase> cases = {
      {"SMTPS", smtps, CURLUSESSL_ALL, marked, CURLE_OK},
      {"STARTTLS", Url("smtp", kServerName, "starttls"), CURLUSESSL_ALL, marked, CURLE_OK},
      {"text refused by the server", smtps, CURLUSESSL_ALL,
       std::string(kHeaders) + std::string(kBody), CURLE_WEIRD_SERVER_REPLY},
  };
  for (const auto& c : cases) {
    const Outcome outcome = SendMail(c.url, c.useSsl, c.text);
    EXPECT_EQ(outcome.code, c.expected) << c.name << ": " << outcome.error;
  }
}

}  // namespace
