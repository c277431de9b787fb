#include "platform/linux/resolver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>

#include "platform/family_resolver.h"

namespace kelvoran {
namespace {

// A C library call sees the text only up to its first zero byte, so a text
// with one inside would be looked up as a different, shorter name.
bool HasEmbeddedZero(const std::string& host) { return host.find('\0') != std::string::npos; }

}  // namespace

std::optional<Ipv4Address> ResolveIpv4(const std::string& host) {
  sockaddr_in found{};
  if (!FirstAddressOfFamily(host, AF_INET, &found, sizeof found)) return std::nullopt;
  return found.sin_addr.s_addr;
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
