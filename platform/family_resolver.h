#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "engine/echo_probe.h"

// Name resolution restricted to one address family, through getaddrinfo,
// which means the same on Linux and in Windows Sockets (started there first).
namespace kelvoran {

// Copies the socket address (sockaddr_in or sockaddr_in6, `size` bytes) of
// the first answer of family AF_INET or AF_INET6 for host into address.
// False when there is none, the text is empty or it holds a zero byte (the C
// call would see a shorter name).
bool FirstAddressOfFamily(const std::string& host, int family, void* address, std::size_t size);

// An IPv6 literal with an optional %zone (an interface name, or its index), or
// the first IPv6 address the system resolver (hosts file, DNS) knows for a
// name. Never an IPv4-mapped one.
std::optional<Ipv6Address> ResolveIpv6(const std::string& host);

}  // namespace kelvoran
