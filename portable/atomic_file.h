#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "portable/file_result.h"

namespace kelvoran {

// Files larger than this are refused rather than read into memory: no
// settings file comes near it, and a stray huge file must not exhaust memory.
inline constexpr std::size_t kMaxReadableFile = std::size_t{256} << 20;

// Reads a whole regular file into `contents`. A file that does not exist is
// not an error: `contents` is then left empty (nullopt). Anything else that
// stops the read (a directory in the way, no permission, a path through a
// plain file, a device or FIFO, a file over kMaxReadableFile, another user's
// symbolic link in a shared folder such as /tmp) is an error.
FileResult ReadWholeFile(const std::string& path, std::optional<std::string>& contents);

// Replaces `path` by `contents` so that at every moment, even across a crash
// or a power cut, the path holds either the old file or the new one, whole:
// the bytes go to a new file in the same directory, which is flushed to disk
// and then renamed over the old one. A symbolic link is followed, so the file
// it points to is replaced and the link stays; another user's link in a shared
// folder is refused instead (see platform/shared_folder_links.h). A file
// whose write permission bits are all clear counts as read-only and is left
// alone even for root.
FileResult ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace kelvoran
