#pragma once

#include <map>
#include <string>
#include <string_view>

namespace kelvoran {

// The user's profile as flat entries: "Group/Sub/Key" -> value, whatever
// stores it (a file on Linux, the registry on Windows).
using ProfileEntries = std::map<std::string, std::string>;

// Reads the text of the profile file the desktop program keeps on Linux
// (wxWidgets' wxFileConfig format): "[Group/Sub]" lines hold the group's full
// path, "Key=value" lines its entries; ';' and '#' start comments. Names may
// escape any character with a backslash; values may be wrapped in double
// quotes (kept leading blanks) and use \n, \r, \t, \\ and \". Lines before
// the first group are at the root. A malformed line is skipped.
ProfileEntries ParseDesktopProfile(std::string_view text);

// The entries below `group` ("AlertChannels"), with paths relative to it.
ProfileEntries EntriesBelow(const ProfileEntries& entries, std::string_view group);

}  // namespace kelvoran
