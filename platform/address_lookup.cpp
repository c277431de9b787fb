// Name lookups through getaddrinfo and getnameinfo, which Linux and Winsock
// both provide with the same meaning; only the header that declares them
// differs.
#include "platform/address_lookup.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/local_names.h"

namespace kelvoran {

std::optional<std::string> NumericAddress(const sockaddr* address) {
  if (!address) return std::nullopt;
  const int family = address->sa_family;
  if (family != AF_INET && family != AF_INET6) return std::nullopt;
  const socklen_t size = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
  char text[NI_MAXHOST];
  if (getnameinfo(address, size, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
    return std::nullopt;
  return std::string(text);
}

std::optional<SocketAddress> NumericSocketAddress(const std::string& address, std::uint16_t port) {
  static_assert(sizeof(sockaddr_storage) <= sizeof(SocketAddress::bytes));
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(address.c_str(), service.c_str(), &hints, &found) != 0 || !found)
    return std::nullopt;
  SocketAddress socket{};
  std::memcpy(socket.bytes, found->ai_addr,
              std::min<std::size_t>(found->ai_addrlen, sizeof socket.bytes));
  socket.ipv6 = found->ai_family == AF_INET6;
  freeaddrinfo(found);
  return socket;
}

std::optional<AddressList> LookUpAddresses(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  // One socket type, or every address comes back once per type.
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return std::nullopt;
  AddressList addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (auto address = NumericAddress(entry->ai_addr)) addresses.push_back(std::move(*address));
  }
  freeaddrinfo(found);
  if (addresses.empty()) return std::nullopt;
  return addresses;
}

std::optional<AddressList> LookUpReverseName(const std::string& numericAddress) {
  const auto address = NumericSocketAddress(numericAddress, 0);
  if (!address) return std::nullopt;
  const socklen_t size = address->ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  char name[NI_MAXHOST];
  if (getnameinfo(address->get(), size, name, sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
    return std::nullopt;
  return AddressList{name};
}

}  // namespace kelvoran
