// The settings file's reads and atomic replacement on Windows, through the
// wide file calls; the same guarantees as atomic_file.cpp gives on Linux.
#include "portable/atomic_file.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "platform/leftover_files.h"
#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

// Paths come as UTF-8, as std::filesystem and wxString hand them out; the
// wide calls reach every name the file system can hold.
std::wstring Wide(std::string_view text) { return WideFromCodePage(CP_UTF8, text); }

FileResult ReadError(const std::string& path, const std::string& reason) {
  return {"Cannot read \"" + path + "\": " + reason};
}

FileResult WriteError(const std::string& path, const std::string& reason) {
  return {"Cannot write \"" + path + "\": " + reason};
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Closes the handle when the scope ends, whatever way it ends.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and reports the error (0 on success).
  DWORD Close() {
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed ? 0 : GetLastError();
  }

 private:
  HANDLE handle_;
};

// Opening a directory as a file fails with "access denied"; say what is there.
std::string OpenFailureReason(const std::wstring& path, DWORD error) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool directory =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return directory ? "Is a directory" : SystemErrorText(error);
}

// ReadFile and WriteFile move at most a DWORD's worth at a time.
DWORD Chunk(std::size_t size) { return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)); }

// Reads to end of file straight into `out`; returns 0 or the error that
// stopped it. The file may have grown since its size was taken.
DWORD ReadAll(HANDLE file, std::size_t expected, std::string& out) {
  std::size_t used = 0;
  out.resize(std::min(expected, kMaxReadableFile) + 1);
  for (;;) {
    if (used == out.size()) {
      if (used > kMaxReadableFile) return ERROR_FILE_TOO_LARGE;
      out.resize(std::min(used * 2, kMaxReadableFile + 1));
    }
    DWORD got = 0;
    if (!ReadFile(file, out.data() + used, Chunk(out.size() - used), &got, nullptr))
      return GetLastError();
    if (got == 0) {
      out.resize(used);
      return 0;
    }
    used += got;
  }
}

// Writes everything and waits for the disk; returns 0 or the error, e.g.
// ERROR_DISK_FULL.
DWORD WriteAllAndFlush(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    DWORD put = 0;
    if (!WriteFile(file, data.data(), Chunk(data.size()), &put, nullptr)) return GetLastError();
    data.remove_prefix(put);
  }
  return FlushFileBuffers(file) ? 0 : GetLastError();
}

// Why the existing file must not be replaced, or empty when it may be (or
// when there is none). The read-only attribute is the operator's mark.
std::string RefusalToReplace(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return IsMissing(error) ? "" : SystemErrorText(error);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "Is a directory";
  if (attributes & FILE_ATTRIBUTE_READONLY) return "the file is read-only";
  const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  Handle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return SystemErrorText(GetLastError());
  return GetFileType(file.get()) == FILE_TYPE_DISK ? "" : "not a regular file";
}

// Creates a new, empty file beside `path` that no other writer can be using.
// Write-through: its bytes are on the disk, not only in the cache, by the
// time the rename makes them the settings file.
HANDLE CreateTempFile(const std::wstring& path, std::wstring& tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = TempFileName(std::filesystem::path(path), GetCurrentProcessId()).wstring();
    const HANDLE file = CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

// OpenProcess fails with ERROR_INVALID_PARAMETER only when no process has
// that id; a process of another user gives ERROR_ACCESS_DENIED. An ended
// process still opens while anyone holds a handle to it (Wine's server keeps
// ended processes a while even without one): it is signalled by then.
bool ProcessExists(std::uint64_t pid) {
  if (pid == 0 || pid > MAXDWORD) return true;
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace

FileResult ReadWholeFile(const std::string& path, std::optional<std::string>& contents) {
  contents.reset();
  const std::wstring wide = Wide(path);
  // Sharing everything, as a Linux reader does not block a writer either.
  Handle file(CreateFileW(wide.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    return IsMissing(error) ? FileResult{} : ReadError(path, OpenFailureReason(wide, error));
  }
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return ReadError(path, "not a regular file");
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return ReadError(path, SystemErrorText(GetLastError()));
  if (static_cast<unsigned long long>(size.QuadPart) > kMaxReadableFile)
    return ReadError(path, "the file is larger than 256 MiB");
  std::string bytes;
  if (const DWORD error = ReadAll(file.get(), static_cast<std::size_t>(size.QuadPart), bytes))
    return ReadError(path, SystemErrorText(error));
  contents = std::move(bytes);
  return {};
}

// MoveFileExW, not ReplaceFileW: when ReplaceFileW fails half way it can
// leave the new file under its temporary name and none under the real one,
// while a rename over the old file is all or nothing.
FileResult ReplaceFileAtomically(const std::string& path, std::string_view contents) {
  const std::wstring target = Wide(path);
  if (std::string refusal = RefusalToReplace(target); !refusal.empty())
    return WriteError(path, refusal);
  RemoveLeftoverTempFiles(std::filesystem::path(target), ProcessExists);
  std::wstring tempPath;
  Handle temp(CreateTempFile(target, tempPath));
  if (!temp.valid()) return WriteError(path, SystemErrorText(GetLastError()));
  DWORD error = WriteAllAndFlush(temp.get(), contents);
  if (const DWORD closed = temp.Close(); error == 0) error = closed;
  if (error == 0 && !MoveFileExW(tempPath.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = GetLastError();
  if (error != 0) {
    DeleteFileW(tempPath.c_str());
    return WriteError(path, SystemErrorText(error));
  }
  return {};
}

}  // namespace kelvoran
