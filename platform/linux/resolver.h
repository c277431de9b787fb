#pragma once

#include <optional>
#include <string>

#include "engine/echo_probe.h"

namespace kelvoran {

// The first IPv4 address the system resolver (hosts file, DNS) knows for host.
// Thread-safe: getaddrinfo keeps no shared result buffer.
std::optional<Ipv4Address> ResolveIpv4(const std::string& host);

// A dotted IPv4 text in the classic forms ("a.b.c.d", "a.b.c", "a.b", "a",
// each part decimal, octal or hex), or kNoAddress for anything else, trailing
// text included.
Ipv4Address ParseDottedIpv4(const std::string& host);

}  // namespace kelvoran
