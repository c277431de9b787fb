#include "platform/detached_thread.h"

#include <process.h>
#include <windows.h>

#include <memory>
#include <utility>

namespace kelvoran {
namespace {

unsigned __stdcall RunBody(void* parameter) noexcept {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}

}  // namespace

// A thread of the C runtime's own, not a detached std::thread: the latter goes
// through winpthreads, whose detach now and then loses a thread that was
// reported started (about one start in a thousand under Wine, never running its
// body), which would leave a probe busy for good and the closing wait hanging.
bool StartDetachedThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  const std::uintptr_t thread = _beginthreadex(nullptr, 0, RunBody, owned.get(), 0, nullptr);
  if (thread == 0) return false;  // out of threads or memory for a stack
  owned.release();                // the thread frees it
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

}  // namespace kelvoran
