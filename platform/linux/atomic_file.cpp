#include "portable/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

#include "platform/leftover_files.h"
#include "platform/shared_folder_links.h"

namespace kelvoran {
namespace {

std::string ErrnoText(int error) { return std::generic_category().message(error); }

FileResult ReadError(const std::string& path, const std::string& reason) {
  return {"Cannot read \"" + path + "\": " + reason};
}

FileResult WriteError(const std::string& path, const std::string& reason) {
  return {"Cannot write \"" + path + "\": " + reason};
}

// Closes the descriptor when the scope ends, whatever way it ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports close(2)'s errno (0 on success): on NFS a delayed
  // write error may first show here.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

std::string NotRegularReason(mode_t mode) {
  return S_ISDIR(mode) ? ErrnoText(EISDIR) : "not a regular file";
}

// Reads to end of file straight into `out`; returns 0 or the errno that
// stopped it. The file may have grown since fstat(2), so the buffer grows too.
int ReadAll(int fd, std::size_t expected, std::string& out) {
  std::size_t used = 0;
  out.resize(std::min(expected, kMaxReadableFile) + 1);
  for (;;) {
    if (used == out.size()) {
      if (used > kMaxReadableFile) return EFBIG;
      out.resize(std::min(used * 2, kMaxReadableFile + 1));
    }
    const ssize_t got = ::read(fd, out.data() + used, out.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) {
      out.resize(used);
      return 0;
    }
    used += static_cast<std::size_t>(got);
  }
}

// Writes everything; returns 0 or the errno of the failed write(2), e.g.
// ENOSPC on a full disk or EFBIG past the file size limit.
int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = ::write(fd, data.data(), data.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(put));
  }
  return 0;
}

// The file a write really replaces: the target of a symbolic link, so that
// rename(2) does not swap the operator's link for a plain file. Only a link
// the shared-folder rule lets us follow is resolved: with no link there at the
// check, one put there since is replaced by the rename, not followed.
std::string ResolveLink(const std::string& path, LinkTrust trust) {
  struct stat link {};
  if (trust != LinkTrust::Follow || ::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
    return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// O_NOFOLLOW where a link must not be followed: one put in a shared folder
// after the check then fails the open with ELOOP.
int NoFollowFlag(LinkTrust trust) { return trust == LinkTrust::Follow ? 0 : O_NOFOLLOW; }

std::string OpenFailureReason(int error, LinkTrust trust) {
  return error == ELOOP && trust != LinkTrust::Follow ? std::string(kRefusedLinkReason)
                                                      : ErrnoText(error);
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// lstat(2) where no link may be followed: a link put there since the check is
// then no regular file, and the save is refused.
int StatusOf(const std::string& path, LinkTrust trust, struct stat& status) {
  return trust == LinkTrust::Follow ? ::stat(path.c_str(), &status)
                                    : ::lstat(path.c_str(), &status);
}

// Why the existing file must not be replaced, or empty when it may be.
std::string RefusalToReplace(const std::string& path, const struct stat& old, LinkTrust trust) {
  if (!S_ISREG(old.st_mode)) return NotRegularReason(old.st_mode);
  // Root passes every permission check, so the mode bits themselves are what
  // marks a file the operator has made read-only.
  if ((old.st_mode & 0222) == 0) return "the file is read-only";
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | NoFollowFlag(trust));
  if (fd < 0) return OpenFailureReason(errno, trust);
  ::close(fd);
  return {};
}

// Creates a new, empty file beside `path` that no other writer can be using.
// open(2) with O_EXCL and mode 0666 lets the umask decide a new file's mode.
int CreateTempFile(const std::string& path, std::string& tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = TempFileName(path, static_cast<std::uint64_t>(::getpid())).string();
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// kill(2) with signal 0 checks without signalling: ESRCH means no such
// process, EPERM one of another user. A number no writer of ours could have
// had is left alone.
bool ProcessExists(std::uint64_t pid) {
  if (pid == 0 || pid > static_cast<std::uint64_t>(INT_MAX)) return true;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Writes, flushes and closes the temporary file; returns 0 or an errno.
int FillTempFile(Descriptor& file, std::string_view contents, const struct stat* old) {
  if (old != nullptr) {
    // Keep the old file's permissions and, where allowed, its owner: when
    // root saves the operator's file it must stay the operator's.
    if (::fchmod(file.get(), old->st_mode & 07777) != 0) return errno;
    if (::fchown(file.get(), old->st_uid, old->st_gid) != 0 && errno != EPERM) return errno;
  }
  if (const int error = WriteAll(file.get(), contents)) return error;
  if (::fsync(file.get()) != 0) return errno;
  return file.Close();
}

// Makes the rename itself durable. Some file systems refuse fsync(2) on a
// directory (EINVAL); the new file is in place by then, so that is no failure.
void SyncDirectory(const std::string& directory) {
  Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace

FileResult ReadWholeFile(const std::string& path, std::optional<std::string>& contents) {
  contents.reset();
  const LinkTrust trust = TrustOfLink(path);
  if (trust == LinkTrust::Refuse) return ReadError(path, std::string(kRefusedLinkReason));
  // O_NONBLOCK: a FIFO put where the file should be must not hang the reader.
  Descriptor file(
      ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | NoFollowFlag(trust)));
  if (file.get() < 0)
    return errno == ENOENT ? FileResult{} : ReadError(path, OpenFailureReason(errno, trust));
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return ReadError(path, ErrnoText(errno));
  if (!S_ISREG(status.st_mode)) return ReadError(path, NotRegularReason(status.st_mode));
  if (static_cast<std::size_t>(status.st_size) > kMaxReadableFile)
    return ReadError(path, "the file is larger than 256 MiB");
  std::string bytes;
  if (const int error = ReadAll(file.get(), static_cast<std::size_t>(status.st_size), bytes))
    return ReadError(path, ErrnoText(error));
  contents = std::move(bytes);
  return {};
}

FileResult ReplaceFileAtomically(const std::string& path, std::string_view contents) {
  const LinkTrust trust = TrustOfLink(path);
  if (trust == LinkTrust::Refuse) return WriteError(path, std::string(kRefusedLinkReason));
  const std::string target = ResolveLink(path, trust);
  struct stat old {};
  const bool exists = StatusOf(target, trust, old) == 0;
  if (!exists && errno != ENOENT) return WriteError(path, ErrnoText(errno));
  if (exists) {
    if (std::string refusal = RefusalToReplace(target, old, trust); !refusal.empty())
      return WriteError(path, refusal);
  }
  RemoveLeftoverTempFiles(target, ProcessExists);
  std::string tempPath;
  Descriptor temp(CreateTempFile(target, tempPath));
  if (temp.get() < 0) return WriteError(path, ErrnoText(errno));
  int error = FillTempFile(temp, contents, exists ? &old : nullptr);
  if (error == 0 && ::rename(tempPath.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(tempPath.c_str());
    return WriteError(path, ErrnoText(error));
  }
  SyncDirectory(DirectoryOf(target));
  return {};
}

}  // namespace kelvoran
