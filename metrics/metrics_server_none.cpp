#include "metrics/metrics_server.h"

namespace kelvoran {

// Built without libmicrohttpd (-DKELVORAN_METRICS=OFF): the option is
// accepted and told to be unavailable, and monitoring goes on.
std::unique_ptr<MetricsServer> MetricsServer::Start(const ListenAddress& /*address*/,
                                                    const MetricsAccess& /*access*/,
                                                    TextSource /*source*/, std::string& problem) {
  problem = "this build of Kelvoran has no metrics endpoint";
  return nullptr;
}

bool MetricsServer::BuiltIn() { return false; }
bool MetricsServer::TlsBuiltIn() { return false; }

}  // namespace kelvoran
