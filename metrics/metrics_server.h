#pragma once

#include <functional>
#include <memory>
#include <string>

#include "metrics/listen_address.h"
#include "metrics/metrics_access.h"

namespace kelvoran {

// What GET /metrics answers: the text, shared with the scrapes that read the
// same snapshot, and its Content-Type.
struct MetricsPage {
  std::shared_ptr<const std::string> text;
  const char* contentType = nullptr;
};

// The HTTP side of the metrics endpoint: GET (or HEAD) /metrics answers the
// page `source` gives for the request's Accept header (null when it has
// none), anything else 404; with basic auth, a request without the right
// credentials gets 401. Runs on a thread of its own from Start until the
// object goes; `source` is called on that thread.
class MetricsServer {
 public:
  using TextSource = std::function<MetricsPage(const char* accept)>;

  // Null, with `problem` set to a sentence for the user, when the address
  // cannot be listened on, `access` cannot be had (a TLS file unreadable or
  // unusable: never plain HTTP instead), or this build has no endpoint.
  static std::unique_ptr<MetricsServer> Start(const ListenAddress& address,
                                              const MetricsAccess& access, TextSource source,
                                              std::string& problem);
  virtual ~MetricsServer() = default;

  // Whether this build serves at all (-DKELVORAN_METRICS).
  static bool BuiltIn();
  // Whether its HTTP server can serve HTTPS (not the Windows build's).
  static bool TlsBuiltIn();
};

}  // namespace kelvoran
