#pragma once

#include <optional>
#include <string>

struct sockaddr;

namespace kelvoran {

// An IPv4 or IPv6 address as getnameinfo(NI_NUMERICHOST) writes it; nothing
// for another family.
std::optional<std::string> NumericAddress(const sockaddr* address);

}  // namespace kelvoran
