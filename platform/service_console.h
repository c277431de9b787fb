#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kelvoran {

// What the system asks of a program running without a window.
enum class ServiceRequest {
  None,
  // End as the window's Exit does: SIGTERM or SIGINT on Linux; Ctrl+C,
  // Ctrl+Break, the console's closing, logoff or shutdown on Windows.
  Stop,
  // Read the host list again: SIGHUP on Linux; Windows has no such signal.
  Reload,
};

// How the requests are made on this system, for the program's --help.
const char* ServiceRequestsHelp();

// Starts hearing the requests; called once, before any thread is started.
void ListenForServiceRequests();

// Waits up to `timeout` for a request and returns it, Stop before Reload when
// both came; None when the time ran out.
ServiceRequest WaitForServiceRequest(std::chrono::milliseconds timeout);

// Whether the program can run under the system's service manager by
// itself: Windows needs the process to answer the service control manager;
// systemd runs the plain program.
bool ServiceManagerNeedsEntry();

// Runs `monitor` as a service of the Windows service control manager, in
// `folder` (a full path in the system's code page, as argv holds it; when
// empty ProgramData\Kelvoran, made when missing), where the monitor keeps
// its log (a service has no standard error). A stop or shutdown from the
// manager arrives as ServiceRequest::Stop. Returns the exit status; 1 at once
// when the process was not started by the manager. Only where
// ServiceManagerNeedsEntry().
int RunAsSystemService(const std::string& folder, const std::function<int()>& monitor);

// Makes stdout and stderr reach the console the program was started from
// when the system gave it none: a Windows program of the GUI subsystem starts
// without one. Output redirected to a file or pipe stays there. Nothing to
// do on Linux.
void UseParentConsole();

}  // namespace kelvoran
