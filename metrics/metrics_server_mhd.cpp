#include <microhttpd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "metrics/metrics_server.h"
#include "platform/address_lookup.h"

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

class MhdServer final : public MetricsServer {
 public:
  explicit MhdServer(TextSource source) : source_(std::move(source)) {}
  ~MhdServer() override {
    // Joins the server's thread: no answer runs once this returns.
    if (daemon_) MHD_stop_daemon(daemon_);
  }
  bool Start(const ListenAddress& address, std::string& problem);

 private:
  static MHD_Result Answer(void* self, MHD_Connection* connection, const char* url,
                           const char* method, const char* version, const char* uploadData,
                           std::size_t* uploadDataSize, void** requestState);
  static void Log(void* self, const char* format, va_list arguments);
  MHD_Result Queue(MHD_Connection* connection, unsigned status, MetricsPage page);

  TextSource source_;
  MHD_Daemon* daemon_ = nullptr;
  // libmicrohttpd's own words on a failed start (bind, listen), kept for the
  // user; once started its messages are not wanted.
  std::atomic<bool> starting_{true};
  std::string startMessage_;
};

bool MhdServer::Start(const ListenAddress& address, std::string& problem) {
  // The user names the address to listen on, not a host: no name is looked up.
  const auto socket = NumericSocketAddress(address.address, address.port);
  if (!socket) {
    problem = "'" + address.address + "' is not a numeric IPv4 or IPv6 address";
    return false;
  }
  unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
  if (socket->ipv6) flags |= MHD_USE_IPv6;
  daemon_ = MHD_start_daemon(
      flags, address.port, nullptr, nullptr, &MhdServer::Answer, this, MHD_OPTION_EXTERNAL_LOGGER,
      &MhdServer::Log, this, MHD_OPTION_SOCK_ADDR, socket->get(), MHD_OPTION_CONNECTION_LIMIT,
      kConnectionLimit, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
      MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutSeconds, MHD_OPTION_END);
  starting_ = false;
  if (daemon_) return true;
  problem = "cannot listen on " + ListenAddressText(address) +
            (startMessage_.empty() ? std::string() : ": " + startMessage_);
  return false;
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

std::unique_ptr<MetricsServer> MetricsServer::Start(const ListenAddress& address, TextSource source,
                                                    std::string& problem) {
  auto server = std::make_unique<MhdServer>(std::move(source));
  if (!server->Start(address, problem)) return nullptr;
  return server;
}

}  // namespace kelvoran
