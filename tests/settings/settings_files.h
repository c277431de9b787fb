#pragma once

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "engine/host_settings.h"
#include "fake_host_rows.h"
#include "temp_dir.h"

namespace kelvoran::testing {

// The host names LoadHostList hands to the host list, in row order.
inline std::vector<std::string> LoadedHosts(const std::string& file) {
  FakeHostRows rows;
  EXPECT_TRUE(LoadHostList(rows, file).ok());
  std::vector<std::string> hosts;
  for (int row = 0; row < rows.RowCount(); ++row) hosts.push_back(rows.RecordAt(row).Host);
  return hosts;
}

#ifndef _WIN32
// A folder owned by `owner` with that mode: 01777 makes it shared as /tmp is.
inline bool MakeFolder(const std::filesystem::path& path, mode_t mode, uid_t owner = 0) {
  return std::filesystem::create_directory(path) && ::chown(path.c_str(), owner, owner) == 0 &&
         ::chmod(path.c_str(), mode) == 0;
}

// A symbolic link as another user would make it: lchown(2) needs root.
inline bool MakeLinkOwnedBy(const std::filesystem::path& target, const std::filesystem::path& link,
                            uid_t owner) {
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  return !error && ::lchown(link.c_str(), owner, owner) == 0;
}
#endif

}  // namespace kelvoran::testing
