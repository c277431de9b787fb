#include "portable/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelvoran {
namespace {

std::string LockError(const std::string& path, int error) {
  return "Cannot lock \"" + path + "\": " + std::generic_category().message(error);
}

}  // namespace

bool FileLock::Open(const std::string& path) {
  // O_NOFOLLOW: a link planted in a shared folder must not make us create or
  // lock a file elsewhere.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
  if (fd < 0) error_ = LockError(path, errno);
  handle_ = fd;
  return fd >= 0;
}

// F_OFD_SETLK: an open-file-description lock (Linux 3.15). It conflicts with
// every other open of the file, in this process too, and only the last close
// of this very description lets it go.
FileLock::Outcome FileLock::TryOnce(const std::string& path, Slot slot) {
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(slot);
  range.l_len = 1;
  while (::fcntl(static_cast<int>(handle_), F_OFD_SETLK, &range) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return Outcome::Busy;
    error_ = LockError(path, errno);
    return Outcome::Failed;
  }
  return Outcome::Held;
}

void FileLock::Release() {
  if (handle_ != kNoHandle) ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

}  // namespace kelvoran
