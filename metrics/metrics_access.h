#pragma once

#include <optional>
#include <string>

#include "metrics/listen_address.h"

namespace kelvoran {

// Who may read the metrics endpoint and over what, as Prometheus's own
// exporters offer it: HTTP basic auth checked against a bcrypt hash, and TLS
// with the user's certificate and key (PEM files). All empty: plain HTTP for
// anyone who can connect, as before.
struct MetricsAccess {
  std::string user;
  // "$2y$..." or "$2b$...", as htpasswd -B and Prometheus's web config write it.
  std::string passwordHash;
  std::string tlsCertificateFile;
  std::string tlsKeyFile;

  bool ChecksPassword() const { return !user.empty() || !passwordHash.empty(); }
  bool UsesTls() const { return !tlsCertificateFile.empty() || !tlsKeyFile.empty(); }
  bool operator==(const MetricsAccess&) const = default;
};

// "https://127.0.0.1:9765/metrics", with " (basic auth)" when a password is
// asked: what the user tells Prometheus to scrape.
std::string MetricsUrlText(const ListenAddress& address, const MetricsAccess& access);

// What is wrong with `access` before any file is read, in a sentence: half of
// a pair, a hash that is not bcrypt, or what this build cannot do.
std::optional<std::string> MetricsAccessProblem(const MetricsAccess& access);

}  // namespace kelvoran
