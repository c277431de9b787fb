#include <microhttpd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#ifdef KELVORAN_GNUTLS
#include <gnutls/gnutls.h>
#endif

#include "metrics/metrics_server.h"
#include "metrics/password_check.h"
#include "platform/address_lookup.h"
#include "platform/system_crypto.h"

namespace kelvoran {
namespace {

// What a slow or hostile client can take is bounded by libmicrohttpd: at most
// kConnectionLimit connections, each with a kConnectionMemory pool for its
// request (a longer header is answered 431 and the connection closed), each
// closed after kConnectionTimeout without traffic. A scraper needs one
// connection and under a kilobyte of headers; the limit is high enough that
// a few hundred idle connections still leave room for it.
constexpr unsigned kConnectionLimit = 512;
constexpr std::size_t kConnectionMemory = 16 * 1024;
constexpr unsigned kConnectionTimeoutSeconds = 10;
// A PEM certificate chain or key is a few kilobytes.
constexpr std::streamoff kPemSizeLimit = 1024 * 1024;
[[maybe_unused]] constexpr const char* kRealm = "kelvoran";

std::optional<std::string> ReadPem(const std::string& path, const char* what,
                                   std::string& problem) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) {
    problem = std::string("cannot read the TLS ") + what + " " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  if (file.tellg() > kPemSizeLimit || file.tellg() <= 0) {
    problem = std::string("the TLS ") + what + " " + path + " is not a PEM file";
    return std::nullopt;
  }
  file.seekg(0);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// libmicrohttpd says only that TLS could not start: GnuTLS, which it uses,
// tells what is wrong with the pair.
std::optional<std::string> PairProblem(const std::string& certificate, const std::string& key) {
#ifdef KELVORAN_GNUTLS
  gnutls_certificate_credentials_t credentials = nullptr;
  if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS)
    return "GnuTLS cannot start";
  const auto datum = [](const std::string& text) {
    return gnutls_datum_t{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                          static_cast<unsigned>(text.size())};
  };
  const gnutls_datum_t certificateDatum = datum(certificate);
  const gnutls_datum_t keyDatum = datum(key);
  const int loaded = gnutls_certificate_set_x509_key_mem(credentials, &certificateDatum, &keyDatum,
                                                         GNUTLS_X509_FMT_PEM);
  gnutls_certificate_free_credentials(credentials);
  if (loaded < 0) return std::string(gnutls_strerror(loaded));
#else
  (void)certificate;
  (void)key;
#endif
  return std::nullopt;
}

class MhdServer final : public MetricsServer {
 public:
  explicit MhdServer(TextSource source) : source_(std::move(source)) {}
  ~MhdServer() override {
    // Joins the server's thread: no answer runs once this returns.
    if (daemon_) MHD_stop_daemon(daemon_);
  }
  bool Start(const ListenAddress& address, const MetricsAccess& access, std::string& problem);

 private:
  static MHD_Result Answer(void* self, MHD_Connection* connection, const char* url,
                           const char* method, const char* version, const char* uploadData,
                           std::size_t* uploadDataSize, void** requestState);
  static void Log(void* self, const char* format, va_list arguments);
  MHD_Result Queue(MHD_Connection* connection, unsigned status, MetricsPage page);
  bool LoadTls(const MetricsAccess& access, std::string& problem);
  bool Authorized(MHD_Connection* connection);
  MHD_Result AskForCredentials(MHD_Connection* connection);

  TextSource source_;
  std::unique_ptr<PasswordCheck> passwordCheck_;
  // Read by libmicrohttpd at its start, and kept for its life.
  std::string certificate_;
  std::string key_;
  MHD_Daemon* daemon_ = nullptr;
  // libmicrohttpd's own words on a failed start (bind, listen), kept for the
  // user; once started its messages are not wanted.
  std::atomic<bool> starting_{true};
  std::string startMessage_;
};

bool MhdServer::Start(const ListenAddress& address, const MetricsAccess& access,
                      std::string& problem) {
  // The user names the address to listen on, not a host: no name is looked up.
  const auto socket = NumericSocketAddress(address.address, address.port);
  if (!socket) {
    problem = "'" + address.address + "' is not a numeric IPv4 or IPv6 address";
    return false;
  }
  if (const auto accessProblem = MetricsAccessProblem(access)) {
    problem = *accessProblem;
    return false;
  }
  if (access.ChecksPassword())
    passwordCheck_ = std::make_unique<PasswordCheck>(access.user, access.passwordHash);
  if (access.UsesTls() && !LoadTls(access, problem)) return false;
  unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
  if (socket->ipv6) flags |= MHD_USE_IPv6;
  if (access.UsesTls()) flags |= MHD_USE_TLS;
  const MHD_OptionItem tls[] = {{MHD_OPTION_HTTPS_MEM_CERT, 0, certificate_.data()},
                                {MHD_OPTION_HTTPS_MEM_KEY, 0, key_.data()},
                                {MHD_OPTION_END, 0, nullptr}};
  const MHD_OptionItem plain[] = {{MHD_OPTION_END, 0, nullptr}};
  daemon_ = MHD_start_daemon(
      flags, address.port, nullptr, nullptr, &MhdServer::Answer, this, MHD_OPTION_EXTERNAL_LOGGER,
      &MhdServer::Log, this, MHD_OPTION_SOCK_ADDR, socket->get(), MHD_OPTION_CONNECTION_LIMIT,
      kConnectionLimit, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
      MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutSeconds, MHD_OPTION_ARRAY,
      access.UsesTls() ? tls : plain, MHD_OPTION_END);
  starting_ = false;
  if (daemon_) return true;
  problem = "cannot listen on " + ListenAddressText(address) +
            (startMessage_.empty() ? std::string() : ": " + startMessage_);
  return false;
}

bool MhdServer::LoadTls(const MetricsAccess& access, std::string& problem) {
  auto certificate = ReadPem(access.tlsCertificateFile, "certificate", problem);
  if (!certificate) return false;
  auto key = ReadPem(access.tlsKeyFile, "key", problem);
  if (!key) return false;
  if (const auto pairProblem = PairProblem(*certificate, *key)) {
    problem = "the TLS certificate " + access.tlsCertificateFile + " and key " + access.tlsKeyFile +
              " cannot be used: " + *pairProblem;
    return false;
  }
  certificate_ = std::move(*certificate);
  key_ = std::move(*key);
  return true;
}

bool MhdServer::Authorized(MHD_Connection* connection) {
  if (!passwordCheck_) return true;
#ifdef KELVORAN_BCRYPT
  // libmicrohttpd decodes the Authorization header; both strings are its
  // allocations, freed with MHD_free.
  char* password = nullptr;
  char* user = MHD_basic_auth_get_username_password(connection, &password);
  const bool allowed = user && password && passwordCheck_->Allows(user, password);
  if (password) WipeSecret(password, std::strlen(password));
  MHD_free(user);
  MHD_free(password);
  return allowed;
#else
  (void)connection;
  return false;
#endif
}

MHD_Result MhdServer::AskForCredentials(MHD_Connection* connection) {
#ifdef KELVORAN_BCRYPT
  static const char kText[] = "Unauthorized\n";
  MHD_Response* response = MHD_create_response_from_buffer(
      sizeof kText - 1, const_cast<char*>(kText), MHD_RESPMEM_PERSISTENT);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
  const MHD_Result queued = MHD_queue_basic_auth_fail_response(connection, kRealm, response);
  MHD_destroy_response(response);
  return queued;
#else
  (void)connection;
  return MHD_NO;
#endif
}

void MhdServer::Log(void* self, const char* format, va_list arguments) {
  auto& server = *static_cast<MhdServer*>(self);
  if (!server.starting_) return;
  char line[256];
  std::vsnprintf(line, sizeof line, format, arguments);
  server.startMessage_ = line;
  while (!server.startMessage_.empty() &&
         (server.startMessage_.back() == '\n' || server.startMessage_.back() == '.'))
    server.startMessage_.pop_back();
}

MHD_Result MhdServer::Answer(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char* /*version*/,
                             const char* /*uploadData*/, std::size_t* /*uploadDataSize*/,
                             void** /*requestState*/) {
  auto& server = *static_cast<MhdServer*>(self);
  if (!server.Authorized(connection)) return server.AskForCredentials(connection);
  const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                   std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
  if (!get || std::strcmp(url, "/metrics") != 0) {
    static const auto notFound = std::make_shared<const std::string>("Not found\n");
    return server.Queue(connection, MHD_HTTP_NOT_FOUND, {notFound, "text/plain; charset=utf-8"});
  }
  const char* accept =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT);
  return server.Queue(connection, MHD_HTTP_OK, server.source_(accept));
}

// The response reads the shared text in place; the last reference goes when
// libmicrohttpd has sent it.
MHD_Result MhdServer::Queue(MHD_Connection* connection, unsigned status, MetricsPage page) {
  auto* held = new std::shared_ptr<const std::string>(std::move(page.text));
  MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
      (*held)->size(), const_cast<char*>((*held)->data()),
      [](void* holder) { delete static_cast<std::shared_ptr<const std::string>*>(holder); }, held);
  if (!response) {
    delete held;
    return MHD_NO;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, page.contentType);
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

bool MetricsServer::BuiltIn() { return true; }

bool MetricsServer::TlsBuiltIn() { return MHD_is_feature_supported(MHD_FEATURE_TLS) == MHD_YES; }

std::unique_ptr<MetricsServer> MetricsServer::Start(const ListenAddress& address,
                                                    const MetricsAccess& access, TextSource source,
                                                    std::string& problem) {
  auto server = std::make_unique<MhdServer>(std::move(source));
  if (!server->Start(address, access, problem)) return nullptr;
  return server;
}

}  // namespace kelvoran
