#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

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

// Where files of many megabytes go: memory-backed when the machine has it,
// so that the test measures the code and not the disk's flush.
inline std::filesystem::path BigFileBase() {
  std::error_code ignored;
  return std::filesystem::is_directory("/dev/shm", ignored)
             ? std::filesystem::path("/dev/shm")
             : std::filesystem::temp_directory_path();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace kelvoran::testing
