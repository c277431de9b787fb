#include "platform/service_console.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/windows/stop_request.h"

namespace kelvoran {
namespace {

std::atomic<bool> stopAsked{false};
// Set once at the start; read by the threads the system runs the handlers on.
std::atomic<HANDLE> requestEvent{nullptr};

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleControl(DWORD control) {
  RequestStop();
  if (control == CTRL_C_EVENT || control == CTRL_BREAK_EVENT) return TRUE;
  // Closing the console, logoff and shutdown end the process as soon as the
  // handler returns: it waits instead, and the process ends when the main
  // loop has closed down (or at the system's own time limit).
  Sleep(INFINITE);
  return TRUE;
}

// Whether the standard handle leads somewhere: a file or pipe the program
// was started with.
bool Redirected(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void RequestStop() {
  stopAsked = true;
  if (requestEvent) SetEvent(requestEvent);
}

const char* ServiceRequestsHelp() {
  return "Ctrl+C, Ctrl+Break or closing the console ends it as Host > Exit does: probes\n"
         "under way are waited for and the history is written out. To read a changed\n"
         "host list, end it and start it again.";
}

void ListenForServiceRequests() {
  requestEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  // A process may start with Ctrl+C ignored (a new process group, a program
  // without a console of its own): it is asked for here.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ServiceRequest WaitForServiceRequest(std::chrono::milliseconds timeout) {
  if (requestEvent)
    WaitForSingleObject(requestEvent, static_cast<DWORD>(timeout.count()));
  else
    Sleep(static_cast<DWORD>(timeout.count()));
  return stopAsked.exchange(false) ? ServiceRequest::Stop : ServiceRequest::None;
}

void UseParentConsole() {
  const bool outRedirected = Redirected(STD_OUTPUT_HANDLE);
  const bool errRedirected = Redirected(STD_ERROR_HANDLE);
  if (outRedirected && errRedirected) return;
  // A GUI-subsystem program gets no console of its own; the one of the
  // command prompt that started it is attached, and the C library's streams
  // are opened on it again.
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!outRedirected) std::freopen("CONOUT$", "w", stdout);
  if (!errRedirected) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace kelvoran
