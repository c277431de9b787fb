#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// In a folder everyone may write to but only owners may delete from (sticky
// and world-writable, as /tmp is), any user can put a symbolic link where a
// file of ours will be, pointing anywhere. Following it would let that user
// aim our writes, root's among them, at a file of their choice.

// What may be done with a symbolic link at a path, now or later.
enum class LinkTrust {
  Follow,    // the link there, if any, is one the system would follow
  NoFollow,  // no link there now, and one put there later must not be followed
  Refuse,    // a link there that must not be followed
};

// Judges the link at `path`, and every link it leads through, as the
// system's own rule for shared folders would; a system without such
// folders follows every link.
LinkTrust TrustOfLink(const std::string& path);

// The reason a refused link gives, in words fit for a message box.
inline constexpr std::string_view kRefusedLinkReason =
    "the symbolic link belongs to another user in a shared folder";

}  // namespace kelvoran
