#include "portable/file_lock.h"

#include <thread>

namespace kelvoran {

FileLock FileLock::Take(const std::string& path, Slot slot, std::chrono::milliseconds patience) {
  // Polled, not waited on in the kernel: a wait there cannot be given a
  // deadline, and a copy hung in the middle of a save must not hang this one.
  constexpr auto kPollEvery = std::chrono::milliseconds(2);
  FileLock lock;
  if (!lock.Open(path)) return lock;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while ((lock.outcome_ = lock.TryOnce(path, slot)) == Outcome::Busy &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(kPollEvery);
  return lock;
}

std::string LockPathBeside(const std::string& settingsPath) {
#ifdef _WIN32
  const auto separator = settingsPath.find_last_of("/\\");
#else
  const auto separator = settingsPath.rfind('/');
#endif
  const std::size_t base = separator == std::string::npos ? 0 : separator + 1;
  return settingsPath.substr(0, base) + "." + settingsPath.substr(base) + ".lock";
}

}  // namespace kelvoran
