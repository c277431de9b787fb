#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/host_settings.h"
#include "fake_host_rows.h"

namespace kelvoran::testing {

// A fresh directory for the test's settings files, removed with everything
// in it when the test ends.
class TempDir {
 public:
  // create_directory reports a name that is taken, so the directory is new.
  explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::random_device random;
    do path_ = base / ("kelvoran-" + std::to_string(random()));
    while (!std::filesystem::create_directory(path_));
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name = "KELVORAN.INI") const {
    return (path_ / name).string();
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The host names LoadHostList hands to the host list, in row order.
inline std::vector<std::string> LoadedHosts(const std::string& file) {
  FakeHostRows rows;
  EXPECT_TRUE(LoadHostList(rows, file).ok());
  std::vector<std::string> hosts;
  for (int row = 0; row < rows.RowCount(); ++row) hosts.push_back(rows.RecordAt(row).Host);
  return hosts;
}

}  // namespace kelvoran::testing
