#include "platform/shared_folder_links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

namespace kelvoran {
namespace {

// A longer chain makes the kernel itself give up with ELOOP.
constexpr int kMaxLinksInChain = 40;

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// Sticky and writable by everyone: anyone may add a name, only its owner (or
// the folder's) may remove or replace it.
bool IsShared(const struct stat& folder) {
  return (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

bool InSharedFolder(const std::string& path) {
  struct stat folder {};
  return ::stat(FolderOf(path).c_str(), &folder) == 0 && IsShared(folder);
}

// The kernel's rule with fs.protected_symlinks set: in a shared folder a link
// is followed only when it belongs to the follower or to the folder's owner.
// Not every system sets it, so the program applies the rule itself.
bool MayFollow(const std::string& link, uid_t linkOwner) {
  struct stat folder {};
  if (::stat(FolderOf(link).c_str(), &folder) != 0) return false;
  return !IsShared(folder) || linkOwner == ::geteuid() || linkOwner == folder.st_uid;
}

// Where the link leads, as a path from here; empty when it cannot be read.
std::string NextInChain(const std::string& link) {
  std::string target(PATH_MAX, '\0');
  const ssize_t size = ::readlink(link.c_str(), target.data(), target.size());
  if (size < 0 || static_cast<std::size_t>(size) == target.size()) return {};
  target.resize(static_cast<std::size_t>(size));
  if (target.starts_with('/')) return target;
  return (std::filesystem::path(FolderOf(link)) / target).string();
}

}  // namespace

LinkTrust TrustOfLink(const std::string& path) {
  struct stat entry {};
  if (::lstat(path.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode))
    return InSharedFolder(path) ? LinkTrust::NoFollow : LinkTrust::Follow;
  std::string link = path;
  for (int links = 0; links < kMaxLinksInChain && S_ISLNK(entry.st_mode); ++links) {
    if (!MayFollow(link, entry.st_uid)) return LinkTrust::Refuse;
    link = NextInChain(link);
    if (link.empty() || ::lstat(link.c_str(), &entry) != 0) break;
  }
  return LinkTrust::Follow;
}

}  // namespace kelvoran
