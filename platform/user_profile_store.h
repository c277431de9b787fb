#pragma once

#include <string>

#include "portable/desktop_profile_text.h"

namespace kelvoran {

// The user's profile of the program, read without the desktop toolkit that
// writes it: the file $XDG_CONFIG_HOME/Brindlecot/Kelvoran by Brindlecot.conf
// on Linux, HKEY_CURRENT_USER\Software\Brindlecot\Kelvoran by Brindlecot on
// Windows. A profile that does not exist reads as empty; one that cannot be
// read reads as empty too, with `problem` saying why.
ProfileEntries ReadUserProfile(std::string& problem);

// The folder the user's settings live in: $XDG_CONFIG_HOME, else ~/.config,
// on Linux; the roaming application data folder on Windows. The desktop
// toolkit's own answer on each system.
std::string UserSettingsFolder();

}  // namespace kelvoran
