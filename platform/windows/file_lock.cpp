// The settings lock on Windows: LockFileEx on a handle of the lock file's own.
#include "portable/file_lock.h"

#include <windows.h>

#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

std::string LockError(const std::string& path, DWORD error) {
  return "Cannot lock \"" + path + "\": " + SystemErrorText(error);
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

bool FileLock::Open(const std::string& path) {
  // Shared with every other copy, so each can open it and ask for its locks;
  // hidden, as the dot hides it on Linux.
  const std::wstring wide = WideFromCodePage(CP_UTF8, path);
  constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, shareAll, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) error_ = LockError(path, GetLastError());
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return file != INVALID_HANDLE_VALUE;
}

// The lock is the handle's: another handle of the same file, in this process
// too, is refused it, and only closing this handle lets it go.
FileLock::Outcome FileLock::TryOnce(const std::string& path, Slot slot) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(slot);
  if (LockFileEx(AsHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &at))
    return Outcome::Held;
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return Outcome::Busy;
  error_ = LockError(path, error);
  return Outcome::Failed;
}

void FileLock::Release() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}

}  // namespace kelvoran
