#include <shlobj.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/service_console.h"
#include "platform/windows/code_page.h"
#include "platform/windows/stop_request.h"

namespace kelvoran {
namespace {

// The manager ends a service that stays in STOP_PENDING past the hint it
// gave: the closing waits for the probes under way, each up to its host's
// Timeout, 10 s unless set.
constexpr DWORD kStopWaitHintMs = 90'000;

// Set before the dispatcher starts, read on the service's own thread.
std::function<int()> serviceMonitor;
std::string serviceFolder;
std::atomic<SERVICE_STATUS_HANDLE> statusHandle{nullptr};
std::atomic<DWORD> checkPoint{0};
int monitorStatus = 1;

void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHint = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = exitCode;
  status.dwWaitHint = waitHint;
  status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : ++checkPoint;
  SetServiceStatus(statusHandle, &status);
}

// Runs on the dispatcher's thread (the process's main thread).
DWORD WINAPI OnServiceControl(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, NO_ERROR, kStopWaitHintMs);
      RequestStop();
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// A service starts in the system folder: the host list, its history and the
// log live in the service folder instead. Empty when there is none.
std::wstring DefaultServiceFolder() {
  wchar_t* programData = nullptr;
  std::wstring folder;
  if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData) == S_OK)
    folder = std::wstring(programData) + L"\\Kelvoran";
  CoTaskMemFree(programData);
  return folder;
}

// The folder an administrator chose is theirs to make (the installer does);
// the default one is made here when missing.
bool EnterServiceFolder() {
  std::wstring folder = WideFromCodePage(CP_ACP, serviceFolder);
  if (serviceFolder.empty()) {
    folder = DefaultServiceFolder();
    if (folder.empty()) return false;
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  return SetCurrentDirectoryW(folder.c_str()) != 0;
}

// The manager runs this on a thread of its own once the service starts.
void WINAPI ServiceMain(DWORD, wchar_t** arguments) {
  statusHandle = RegisterServiceCtrlHandlerExW(arguments[0], OnServiceControl, nullptr);
  if (!statusHandle) return;
  if (!EnterServiceFolder()) {
    Report(SERVICE_STOPPED, ERROR_PATH_NOT_FOUND);
    return;
  }
  Report(SERVICE_RUNNING);
  monitorStatus = serviceMonitor();
  Report(SERVICE_STOPPED, static_cast<DWORD>(monitorStatus));
}

}  // namespace

bool ServiceManagerNeedsEntry() { return true; }

int RunAsSystemService(const std::string& folder, const std::function<int()>& monitor) {
  serviceMonitor = monitor;
  serviceFolder = folder;
  // For a service of its own process the manager ignores the name.
  wchar_t anyName[] = L"";
  const SERVICE_TABLE_ENTRYW table[] = {{anyName, ServiceMain}, {nullptr, nullptr}};
  // Returns once the service has stopped; fails at once when the process
  // was not started by the manager.
  if (!StartServiceCtrlDispatcherW(table)) {
    std::fprintf(stderr,
                 "kelvoran: --service is for the service control manager (error %lu); "
                 "run --headless alone from a command prompt.\n",
                 GetLastError());
    return 1;
  }
  return monitorStatus;
}

}  // namespace kelvoran
