#include "platform/detached_thread.h"

#include <system_error>
#include <thread>
#include <utility>

namespace kelvoran {

bool StartDetachedThread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    // EAGAIN: out of threads or memory for a stack.
    return false;
  }
}

}  // namespace kelvoran
