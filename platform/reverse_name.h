#pragma once

#include <chrono>
#include <string>

#include "engine/echo_probe.h"

namespace kelvoran {

// The address's name by reverse lookup (getnameinfo with NI_NAMEREQD, the
// same call on Linux and in Windows Sockets), or "" when it has none or the
// answer takes longer than bound. The lookup runs on a helper thread; one
// given up on finishes there and its answer is dropped.
std::string ReverseNameWithin(const EchoDestination& address, std::chrono::milliseconds bound);

}  // namespace kelvoran
