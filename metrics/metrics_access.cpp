#include "metrics/metrics_access.h"

#include "metrics/metrics_server.h"
#include "metrics/password_check.h"

namespace kelvoran {

std::string MetricsUrlText(const ListenAddress& address, const MetricsAccess& access) {
  return (access.UsesTls() ? "https://" : "http://") + ListenAddressText(address) + "/metrics" +
         (access.ChecksPassword() ? " (basic auth)" : "");
}

std::optional<std::string> MetricsAccessProblem(const MetricsAccess& access) {
  if (access.ChecksPassword()) {
    if (!BcryptBuiltIn()) return "this build of Kelvoran cannot check passwords: it has no bcrypt";
    if (access.user.empty() || access.passwordHash.empty())
      return "basic auth needs both a user name and a password hash";
    if (access.user.find(':') != std::string::npos) return "a basic auth user name cannot hold ':'";
    if (!IsBcryptHash(access.passwordHash))
      return "the password hash is not a bcrypt hash ($2y$ or $2b$, as htpasswd -B writes it)";
  }
  if (access.UsesTls()) {
    if (!MetricsServer::TlsBuiltIn())
      return "this build of Kelvoran cannot serve metrics over TLS: its HTTP server has no TLS";
    if (access.tlsCertificateFile.empty() || access.tlsKeyFile.empty())
      return "TLS needs both a certificate file and a key file";
  }
  return std::nullopt;
}

}  // namespace kelvoran
