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

CommandLine Refused(std::string problem) {
  return {CommandLine::Mode::Refused, std::move(problem), {}};
}

void Print(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
  using Mode = CommandLine::Mode;
  if (Given(arguments, {"--help", "-h"})) return {Mode::Help, {}, {}};
  if (Given(arguments, {"--version"})) return {Mode::Version, {}, {}};
  if (!Given(arguments, {"--headless"})) return {Mode::Window, {}, {}};
  CommandLine line{Mode::Headless, {}, {}};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--headless" || argument == "--service") continue;
    std::optional<std::string_view> value;
    if (argument == "--metrics" && i + 1 < arguments.size())
      value = arguments[++i];
    else if (argument.starts_with("--metrics="))
      value = argument.substr(std::string_view("--metrics=").size());
    if (!value) return Refused("kelvoran: unknown argument '" + std::string(argument) + "'\n");
    std::string problem;
    line.metrics = ParseListenAddress(*value, problem);
    if (!line.metrics)
      return Refused("kelvoran: --metrics " + std::string(*value) + ": " + problem + "\n");
  }
  if (!Given(arguments, {"--service"})) return line;
  if (!ServiceManagerNeedsEntry())
    return Refused(
        "kelvoran: --service is for the Windows service control manager; systemd runs\n"
        "kelvoran --headless as it is (kelvoran-headless.service)\n");
  line.mode = Mode::Service;
  return line;
}

std::string VersionText() { return "Kelvoran by Brindlecot " KELVORAN_VERSION "\n"; }

std::string UsageText() {
  return "Usage: kelvoran [--headless [--metrics [ADDRESS:]PORT] [--service] | --help |\n"
         "                 --version]\n"
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
         "  --metrics [ADDRESS:]PORT\n"
         "              With --headless: serve the hosts' figures for Prometheus at\n"
         "              http://ADDRESS:PORT/metrics. ADDRESS is 127.0.0.1 unless given\n"
         "              (an IPv6 one as [::1]:PORT); " +
         std::to_string(kSuggestedMetricsPort) +
         " is a free port in the\n"
         "              exporters' range.\n"
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
  if (line.mode == CommandLine::Mode::Service)
    return RunAsSystemService([&](std::FILE* log) { return RunHeadless(log, line.metrics); });
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
      return RunHeadless(stderr, line.metrics);
  }
}

}  // namespace kelvoran
