#pragma once

#include <string>
#include <utility>
#include <vector>

#include "alert/alert_event.h"

namespace kelvoran {

// The program and its arguments as configured, each with its placeholders
// replaced. No shell sees them and nothing is split at spaces, so a host name
// holding quotes, ";", "$(...)", spaces or a line break stays one argument.
std::vector<std::string> ProgramArguments(const std::vector<std::string>& configured,
                                          const AlertEvent& event);

// One variable per placeholder: KELVORAN_HOST, KELVORAN_STATUS and so on,
// for programs that would rather not take arguments.
std::vector<std::pair<std::string, std::string>> AlertEnvironment(const AlertEvent& event);

// The command line that the C runtime of a Windows program splits back into
// exactly these arguments: an argument that is empty or holds a space, tab,
// line break or quote is quoted, with the backslashes before a quote or the
// closing quote doubled and each quote escaped.
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace kelvoran
