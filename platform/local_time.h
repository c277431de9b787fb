#pragma once

#include <cstdint>

namespace kelvoran {

// Seconds east of UTC of this computer's local time at `seconds` since
// 1970-01-01 00:00 UTC, by the system's own zone rules (summer time included).
std::int64_t LocalUtcOffset(std::int64_t seconds);

}  // namespace kelvoran
