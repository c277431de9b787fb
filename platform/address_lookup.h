#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct sockaddr;

namespace kelvoran {

// An IPv4 or IPv6 address as getnameinfo(NI_NUMERICHOST) writes it; nothing
// for another family.
std::optional<std::string> NumericAddress(const sockaddr* address);

// A sockaddr_in or sockaddr_in6, with room for either on both systems.
struct SocketAddress {
  alignas(8) unsigned char bytes[128];
  bool ipv6 = false;
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(bytes); }
};

// The socket address of a numeric IPv4 or IPv6 address and a port, to listen
// on: no name is looked up (AI_NUMERICHOST). Nothing for anything else.
std::optional<SocketAddress> NumericSocketAddress(const std::string& address, std::uint16_t port);

}  // namespace kelvoran
