// The host name and the interfaces' addresses on Linux.
#include "platform/local_names.h"

#include <ifaddrs.h>
#include <unistd.h>

#include <climits>
#include <utility>

#include "platform/address_lookup.h"

namespace kelvoran {

std::optional<std::string> FullHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
  return std::string(name);
}

std::optional<std::string> ShortHostName() {
  std::optional<std::string> name = FullHostName();
  if (!name) return std::nullopt;
  const std::string shortName = name->substr(0, name->find('.'));
  if (shortName.empty()) return name;
  return shortName;
}

AddressList OwnAddresses() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return {};
  AddressList addresses;
  for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
    if (auto address = NumericAddress(entry->ifa_addr)) addresses.push_back(std::move(*address));
  }
  freeifaddrs(interfaces);
  return addresses;
}

}  // namespace kelvoran
