// Alert programs on Windows: CreateProcessW with the command line the C
// runtime splits back into the exact arguments, in a job object so that a
// time limit ends the program with every process it started.
#include "platform/program_runner.h"

#include <windows.h>

#include <algorithm>

#include "alert/program_arguments.h"
#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

// What a terminated job's processes exit with.
constexpr UINT kEndedExitCode = 1;
// How long the processes of an ended job get to go away.
constexpr DWORD kEndWaitMs = 2000;

// Closes the handle when the scope ends.
class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::wstring Wide(std::string_view text) { return WideFromCodePage(CP_UTF8, text); }

// The name of an environment entry: up to the first '=' after the first
// character (the current folders' entries, "=C:=C:\\work", start with one).
std::wstring_view NameOf(std::wstring_view entry) { return entry.substr(0, entry.find(L'=', 1)); }

bool SameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool NameBefore(const std::wstring& a, const std::wstring& b) {
  const std::wstring_view left = NameOf(a);
  const std::wstring_view right = NameOf(b);
  return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                              static_cast<int>(right.size()), TRUE) == CSTR_LESS_THAN;
}

// The process's own environment with the alert's variables put in their
// place, sorted by name without regard to case, as CreateProcess expects.
std::wstring EnvironmentBlock(const Environment& added) {
  std::vector<std::wstring> entries;
  for (const auto& [name, value] : added) entries.push_back(Wide(name) + L"=" + Wide(value));
  const std::size_t ours = entries.size();
  wchar_t* own = GetEnvironmentStringsW();
  for (const wchar_t* entry = own; entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    const std::wstring_view name = NameOf(entry);
    const bool replaced =
        std::any_of(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(ours),
                    [&](const std::wstring& e) { return SameName(NameOf(e), name); });
    if (!replaced) entries.emplace_back(entry);
  }
  if (own != nullptr) FreeEnvironmentStringsW(own);
  std::stable_sort(entries.begin(), entries.end(), NameBefore);
  std::wstring block;
  for (const std::wstring& entry : entries) block.append(entry).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

std::string StartFailure(const std::string& program, DWORD error) {
  const char* what = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? "not found"
                     : error == ERROR_ACCESS_DENIED  ? "not executable (permission denied)"
                     : error == ERROR_BAD_EXE_FORMAT ? "not an executable file"
                                                     : nullptr;
  return "Cannot start \"" + program + "\": " + (what != nullptr ? what : SystemErrorText(error));
}

// The NUL device for the program's standard handles, inheritable: the only
// handle it inherits (PROC_THREAD_ATTRIBUTE_HANDLE_LIST), so that handles
// another thread is about to hand to its own program do not leak into ours.
HANDLE OpenNullDevice() {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inheritable, OPEN_EXISTING, 0, nullptr);
}

class InheritOnly {
 public:
  explicit InheritOnly(HANDLE& handle) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    ready_ = InitializeProcThreadAttributeList(list_, 1, 0, &size) &&
             UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle,
                                       sizeof handle, nullptr, nullptr);
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  ~InheritOnly() {
    if (ready_) DeleteProcThreadAttributeList(list_);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return ready_ ? list_ : nullptr; }

 private:
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ready_ = false;
};

DWORD Milliseconds(std::chrono::seconds limit) {
  return static_cast<DWORD>(std::clamp<std::int64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(limit).count(), 0, INFINITE - 1));
}

}  // namespace

ProgramOutcome RunAlertProgram(const std::vector<std::string>& arguments,
                               const Environment& environment, std::chrono::seconds limit) {
  if (arguments.empty() || arguments.front().empty())
    return {std::nullopt, false, false, "No program to run"};
  std::wstring commandLine = Wide(WindowsCommandLine(arguments));
  std::wstring variables = EnvironmentBlock(environment);
  HANDLE nulHandle = OpenNullDevice();
  const Handle nul(nulHandle);
  const InheritOnly inheritance(nulHandle);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError =
      nulHandle;
  startup.lpAttributeList = inheritance.get();
  // Suspended until it is in the job, so that nothing it starts escapes.
  const DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT |
                      (startup.lpAttributeList != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
  const Handle job(CreateJobObjectW(nullptr, nullptr));
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr,
                      nulHandle != INVALID_HANDLE_VALUE, flags, variables.data(), nullptr,
                      &startup.StartupInfo, &started))
    return {std::nullopt, false, false, StartFailure(arguments.front(), GetLastError())};
  const Handle process(started.hProcess);
  const Handle thread(started.hThread);
  // Where the job cannot be had (a job of ours that forbids nesting, on old
  // systems), the program alone is ended at the limit.
  const bool inJob = job.get() != nullptr && AssignProcessToJobObject(job.get(), process.get());
  ResumeThread(thread.get());
  ProgramOutcome outcome;
  if (WaitForSingleObject(process.get(), Milliseconds(limit)) == WAIT_TIMEOUT) {
    if (inJob) {
      TerminateJobObject(job.get(), kEndedExitCode);
    } else {
      TerminateProcess(process.get(), kEndedExitCode);
    }
    WaitForSingleObject(process.get(), kEndWaitMs);
    outcome.timedOut = true;
    return outcome;
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  outcome.exitStatus = static_cast<int>(exitCode);
  return outcome;
}

}  // namespace kelvoran
