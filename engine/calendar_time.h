#pragma once

#include <cstdint>

namespace kelvoran {

// Calendar time in whole seconds since 1970-01-01 00:00 UTC. Held in 64 bits
// so that the monitor keeps counting after January 2038, and so that sums such
// as "last probe + delay" cannot overflow with values from a hand-edited file.
using CalendarTime = std::int64_t;

}  // namespace kelvoran
