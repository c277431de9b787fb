#include "platform/user_profile_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kelvoran {

std::string UserSettingsFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) return config;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config";
}

ProfileEntries ReadUserProfile(std::string& problem) {
  const std::string path = UserSettingsFolder() + "/Brindlecot/Kelvoran by Brindlecot.conf";
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (errno != ENOENT) problem = path + ": " + std::strerror(errno);
    return {};
  }
  std::ostringstream text;
  text << file.rdbuf();
  return ParseDesktopProfile(text.str());
}

}  // namespace kelvoran
