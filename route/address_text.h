#pragma once

#include <string>

#include "engine/echo_probe.h"

namespace kelvoran {

// The address as numeric text: dotted IPv4, or IPv6 in the canonical form of
// RFC 5952 (lower case, the longest run of zero groups as "::", an
// IPv4-mapped address ending dotted). The zone is left out: a hop is named by
// its address alone.
std::string AddressText(const EchoDestination& address);

}  // namespace kelvoran
