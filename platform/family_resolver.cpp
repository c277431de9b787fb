#include "platform/family_resolver.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>
#include <memory>

namespace kelvoran {
namespace {

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

bool FirstAddressOfFamily(const std::string& host, int family, void* address, std::size_t size) {
  if (host.empty() || host.find('\0') != std::string::npos) return false;
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_DGRAM;  // one entry per address instead of one per socket type
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == family && entry->ai_addr != nullptr && entry->ai_addrlen >= size) {
      std::memcpy(address, entry->ai_addr, size);
      return true;
    }
  }
  return false;
}

std::optional<Ipv6Address> ResolveIpv6(const std::string& host) {
  sockaddr_in6 found{};
  if (!FirstAddressOfFamily(host, AF_INET6, &found, sizeof found)) return std::nullopt;
  Ipv6Address address;
  std::memcpy(address.Bytes.data(), &found.sin6_addr, address.Bytes.size());
  address.ScopeId = found.sin6_scope_id;
  return address;
}

}  // namespace kelvoran
