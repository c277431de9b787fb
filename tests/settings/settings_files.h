#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/host_settings.h"
#include "fake_host_rows.h"
#include "temp_dir.h"

namespace kelvoran::testing {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
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
