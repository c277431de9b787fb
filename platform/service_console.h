#pragma once

#include <chrono>

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

// Makes stdout and stderr reach the console the program was started from
// when the system gave it none: a Windows program of the GUI subsystem starts
// without one. Output redirected to a file or pipe stays there. Nothing to
// do on Linux.
void UseParentConsole();

}  // namespace kelvoran
