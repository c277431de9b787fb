#include "platform/linux/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace kelvoran {
namespace {

// A C library call sees the text only up to its first zero byte, so a text
// with one inside would be looked up as a different, shorter name.
bool HasEmbeddedZero(const std::string& host) { return host.find('\0') != std::string::npos; }

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

std::optional<Ipv4Address> ResolveIpv4(const std::string& host) {
  if (host.empty() || HasEmbeddedZero(host)) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;  // one entry per address instead of one per socket type
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr &&
        entry->ai_addrlen >= sizeof(sockaddr_in)) {
      return reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
    }
  }
  return std::nullopt;
}

Ipv4Address ParseDottedIpv4(const std::string& host) {
  // inet_aton stops at the first white space and accepts what stood before
  // it; "10.0.0.1 backup" is not an address, so white space is refused here.
  const bool hasSpace =
      std::ranges::any_of(host, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
  if (host.empty() || hasSpace || HasEmbeddedZero(host)) return kNoAddress;
  in_addr address{};
  if (inet_aton(host.c_str(), &address) == 0) return kNoAddress;
  return address.s_addr;
}

}  // namespace kelvoran
