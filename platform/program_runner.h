#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvoran {

// How a program run for an alert ended.
struct ProgramOutcome {
  // The program's exit status, when it exited by itself.
  std::optional<int> exitStatus;
  // It was still running at the time limit and was ended.
  bool timedOut = false;
  // False when it could not be started at all (not found, not executable):
  // trying again will not help.
  bool started = true;
  // Why it could not be started, or how it ended otherwise (a signal), as the
  // operator should read it; after an exit status, the first line the
  // program wrote to its standard error, if any.
  std::string error;
};

// Runs `arguments[0]` with the rest as its arguments, exactly as given: no
// shell, no word splitting (on Windows one command line quoted by the rules
// the C runtime splits it by). `environment` is added to the program's own
// environment. Waits at most `limit`; a program still running then is ended,
// with what it started. Safe to call from any thread but the
// user-interface's (it blocks).
ProgramOutcome RunAlertProgram(const std::vector<std::string>& arguments,
                               const std::vector<std::pair<std::string, std::string>>& environment,
                               std::chrono::seconds limit);

}  // namespace kelvoran
