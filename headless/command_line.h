#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "headless/headless_monitor.h"

namespace kelvoran {

// What the program's command line asks for.
struct CommandLine {
  enum class Mode { Window, Headless, Service, Help, Version, Refused };
  Mode mode = Mode::Window;
  // For Refused: what was wrong.
  std::string problem;
  // For Headless: where and how to serve metrics for Prometheus, if anywhere.
  HeadlessMetrics metrics;
  // For Service: the folder it runs in, a full path that exists; empty for
  // ProgramData\Kelvoran.
  std::string serviceFolder;
};

// Reads the arguments after the program's name. --help (-h) and --version
// win over everything; --headless takes --metrics ADDRESS:PORT (or
// --metrics=ADDRESS:PORT) with its basic auth and TLS options (the password
// hash file is read here), and --service with its --service-folder FOLDER,
// which only a system whose service manager needs the program's own answer
// accepts (Windows). Without any of
// these the window starts, and ignores its arguments as it always did.
CommandLine ParseCommandLine(std::span<const std::string_view> arguments);

std::string UsageText();
std::string VersionText();

// Does what the command line asks when that is not the window, and returns
// the exit status; nothing when the window is to start.
std::optional<int> RunWithoutWindow(int argc, char** argv);

}  // namespace kelvoran
