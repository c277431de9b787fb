#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kelvoran::testing {

// The id of a child process that has started and ended, and so names no
// process now (until the system hands it out again); 0 if none could start.
inline std::uint64_t FinishedProcessId() {
#ifdef _WIN32
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  wchar_t command[] = L"cmd.exe /c exit";
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &child))
    return 0;
  WaitForSingleObject(child.hProcess, INFINITE);
  // The id stays taken while a handle to the process is open.
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return child.dwProcessId;
#else
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  if (child < 0 || ::waitpid(child, nullptr, 0) != child) return 0;
  return static_cast<std::uint64_t>(child);
#endif
}

inline std::uint64_t OwnProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<std::uint64_t>(::getpid());
#endif
}

}  // namespace kelvoran::testing
