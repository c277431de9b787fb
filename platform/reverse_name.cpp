#include "platform/reverse_name.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>
#include <optional>

#include "platform/local_names.h"

namespace kelvoran {
namespace {

struct AddressBytes {
  sockaddr_storage storage{};
  socklen_t size = 0;
};

AddressBytes SocketAddressOf(const EchoDestination& address) {
  AddressBytes bytes;
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&address)) {
    auto& socketAddress = reinterpret_cast<sockaddr_in6&>(bytes.storage);
    socketAddress.sin6_family = AF_INET6;
    std::memcpy(&socketAddress.sin6_addr, ipv6->Bytes.data(), ipv6->Bytes.size());
    socketAddress.sin6_scope_id = ipv6->ScopeId;
    bytes.size = sizeof socketAddress;
  } else {
    auto& socketAddress = reinterpret_cast<sockaddr_in&>(bytes.storage);
    socketAddress.sin_family = AF_INET;
    const Ipv4Address ipv4 = std::get<Ipv4Address>(address);
    std::memcpy(&socketAddress.sin_addr, &ipv4, sizeof ipv4);
    bytes.size = sizeof socketAddress;
  }
  return bytes;
}

// NI_NAMEREQD: an address without a name is an error, not its own text.
std::optional<std::string> LookUpName(const AddressBytes& address) {
  char name[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&address.storage), address.size, name,
                  sizeof name, nullptr, 0, NI_NAMEREQD) != 0) {
    return std::nullopt;
  }
  return std::string(name);
}

}  // namespace

std::string ReverseNameWithin(const EchoDestination& address, std::chrono::milliseconds bound) {
  const AddressBytes bytes = SocketAddressOf(address);
  // LookUpWithin's bounded wait, its list holding the one name found.
  const auto found = LookUpWithin({}, bound, [bytes](const std::string&) {
    std::optional<AddressList> names;
    if (auto name = LookUpName(bytes)) names = AddressList{std::move(*name)};
    return names;
  });
  return found && !found->empty() ? found->front() : std::string();
}

}  // namespace kelvoran
