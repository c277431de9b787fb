#include "platform/local_time.h"

#include <ctime>

namespace kelvoran {

std::int64_t LocalUtcOffset(std::int64_t seconds) {
  // The C runtime's struct tm has no offset field: the local fields read back
  // as if they were UTC (_mkgmtime64) differ from the time by the offset.
  const auto time = static_cast<__time64_t>(seconds);
  std::tm local{};
  if (_localtime64_s(&local, &time) != 0) return 0;
  const __time64_t asUtc = _mkgmtime64(&local);
  return asUtc == -1 ? 0 : static_cast<std::int64_t>(asUtc - time);
}

}  // namespace kelvoran
