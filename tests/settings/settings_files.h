#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/host_settings.h"
#include "fake_host_rows.h"

namespace kelvoran::testing {

// A fresh directory for the test's settings files, removed with everything
// in it when the test ends.
class TempDir {
 public:
  explicit TempDir(std::filesystem::path base = std::filesystem::temp_directory_path()) {
    std::string pattern = (base / "kelvoran-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name = "KELVORAN.INI") const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
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
