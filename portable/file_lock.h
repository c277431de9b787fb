#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

namespace kelvoran {

// A lock on one byte of a small lock file, held until the object goes. Two
// copies of the program in one folder share its settings file: one byte tells
// which copy has the folder (and its history), another keeps their saves from
// interleaving.
//
// The lock belongs to the open lock file itself, never to the process: on
// Linux an open-file-description lock, on Windows LockFileEx on the lock
// file's own handle. A POSIX record lock would go the moment any descriptor of
// that file closed anywhere in the process (a file chooser listing the folder
// closes every file it peeks into).
class FileLock {
 public:
  enum class Slot : std::uint8_t { Folder = 0, Save = 1 };
  enum class Outcome { Held, Busy, Failed };

  FileLock() = default;
  FileLock(FileLock&& other) noexcept { *this = std::move(other); }
  FileLock& operator=(FileLock&& other) noexcept {
    if (this != &other) {
      Release();
      outcome_ = std::exchange(other.outcome_, Outcome::Failed);
      error_ = std::move(other.error_);
      handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }

  // Opens (creating it when missing) the lock file at `path` and locks the
  // slot's byte, waiting at most `patience` for another holder to let go. A
  // lock file that is a symbolic link is refused: it would lock someone
  // else's file.
  static FileLock Take(const std::string& path, Slot slot, std::chrono::milliseconds patience);

  Outcome outcome() const { return outcome_; }
  bool held() const { return outcome_ == Outcome::Held; }
  // Why the lock could not be taken (Failed), in words for a message box.
  const std::string& error() const { return error_; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE
  // What each platform provides: opening the lock file (false, with error_
  // set, when it cannot be), one try at the slot's lock (Failed sets error_),
  // and closing the file, which lets its locks go.
  bool Open(const std::string& path);
  Outcome TryOnce(const std::string& path, Slot slot);
  void Release();

  Outcome outcome_ = Outcome::Failed;
  std::string error_;
  std::intptr_t handle_ = kNoHandle;  // a descriptor, or a Windows HANDLE
};

// The lock file of a settings file: beside it, hidden, named after it
// (".KELVORAN.INI.lock").
std::string LockPathBeside(const std::string& settingsPath);

}  // namespace kelvoran
