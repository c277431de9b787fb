// The secret file on Linux: mode 0600, and refused when others may read it,
// as ssh refuses a private key that others can read.
#include "platform/secret_file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelvoran {

std::string SecretFileExposure(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    return "\"" + path + "\" may be read by other users: allow only its owner (chmod 600)";
  if (status.st_uid != ::geteuid()) return "\"" + path + "\" belongs to another user";
  return {};
}

FileResult CreateOwnerOnlyFile(const std::string& path) {
  // O_EXCL: an existing file (or a link planted there) is left as it is and
  // judged by SecretFileExposure. fchmod(2) because the umask may have taken
  // bits from the mode given to open(2), and must not add any.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    if (errno == EEXIST) return {};
    return {"Cannot create \"" + path + "\": " + std::generic_category().message(errno)};
  }
  const int error = ::fchmod(fd, 0600) == 0 ? 0 : errno;
  ::close(fd);
  if (error == 0) return {};
  ::unlink(path.c_str());
  return {"Cannot create \"" + path + "\": " + std::generic_category().message(error)};
}

}  // namespace kelvoran
