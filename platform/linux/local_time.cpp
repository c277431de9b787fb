#include "platform/local_time.h"

#include <ctime>

namespace kelvoran {

std::int64_t LocalUtcOffset(std::int64_t seconds) {
  // localtime_r reads TZ and the zone files itself, and glibc hands the
  // offset in force out as tm_gmtoff.
  const auto time = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace kelvoran
