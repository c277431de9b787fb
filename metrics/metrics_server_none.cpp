#include "metrics/metrics_server.h"

namespace kelvoran {

// Built without libmicrohttpd (-DKELVORAN_METRICS=OFF): the option is
// accepted and told to be unavailable, and monitoring goes on.
std::unique_ptr<MetricsServer> MetricsServer::Start(const ListenAddress& /*address*/,
                                                    TextSource /*source*/, std::string& problem) {
  problem = "this build of Kelvoran has no metrics endpoint";
  return nullptr;
}

bool MetricsServer::BuiltIn() { return false; }

}  // namespace kelvoran
