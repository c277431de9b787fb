#include "headless/command_line.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "headless/headless_monitor.h"
#include "platform/service_console.h"

namespace kelvoran {
namespace {

bool Given(std::span<const std::string_view> arguments,
           std::initializer_list<std::string_view> names) {
  return std::any_of(arguments.begin(), arguments.end(), [&](std::string_view argument) {
    return std::find(names.begin(), names.end(), argument) != names.end();
  });
}

void Print(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
  using Mode = CommandLine::Mode;
  if (Given(arguments, {"--help", "-h"})) return {Mode::Help, {}};
  if (Given(arguments, {"--version"})) return {Mode::Version, {}};
  if (!Given(arguments, {"--headless"})) return {Mode::Window, {}};
  for (const std::string_view argument : arguments)
    if (argument != "--headless" && argument != "--service")
      return {Mode::Refused, "kelvoran: unknown argument '" + std::string(argument) + "'\n"};
  if (!Given(arguments, {"--service"})) return {Mode::Headless, {}};
  if (!ServiceManagerNeedsEntry())
    return {Mode::Refused,
            "kelvoran: --service is for the Windows service control manager; systemd runs\n"
            "kelvoran --headless as it is (kelvoran-headless.service)\n"};
  return {Mode::Service, {}};
}

std::string VersionText() { return "Kelvoran by Brindlecot " KELVORAN_VERSION "\n"; }

std::string UsageText() {
  return "Usage: kelvoran [--headless [--service] | --help | --version]\n"
         "\n"
         "Without arguments Kelvoran opens its window.\n"
         "\n"
         "  --headless  Monitor without a window or a display: the hosts of KELVORAN.INI\n"
         "              in the current folder, their history in KELVORAN.HISTORY beside\n"
         "              it, alerts through the alert channels of the user's profile.\n"
         "              Each change of status and each alert attempt is logged to\n"
         "              standard error. Popup messages are not sent: nobody would see\n"
         "              them.\n"
         "  --service   With --headless, on Windows: run as the Windows service the\n"
         "              installer registers, in ProgramData\\Kelvoran, logging to\n"
         "              KELVORAN.LOG there.\n"
         "  --help      Show this text.\n"
         "  --version   Show the version.\n"
         "\n"
         "Without a window:\n" +
         std::string(ServiceRequestsHelp()) + "\n";
}

std::optional<int> RunWithoutWindow(int argc, char** argv) {
  std::vector<std::string_view> arguments(argv + std::min(argc, 1), argv + argc);
  const CommandLine line = ParseCommandLine(arguments);
  if (line.mode == CommandLine::Mode::Window) return std::nullopt;
  // The service control manager gives no console, and wants none attached.
  if (line.mode == CommandLine::Mode::Service) return RunAsSystemService(RunHeadless);
  UseParentConsole();
  switch (line.mode) {
    case CommandLine::Mode::Help:
      Print(stdout, UsageText());
      return 0;
    case CommandLine::Mode::Version:
      Print(stdout, VersionText());
      return 0;
    case CommandLine::Mode::Refused:
      Print(stderr, line.problem + UsageText());
      return 2;
    default:
      return RunHeadless(stderr);
  }
}

}  // namespace kelvoran
