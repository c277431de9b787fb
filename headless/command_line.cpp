#include "headless/command_line.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "headless/service_log.h"
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
  return {CommandLine::Mode::Refused, std::move(problem), {}, {}};
}

void Print(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

// The options that take a value, as "--name VALUE" or "--name=VALUE".
constexpr std::string_view kValueOptions[] = {
    "--metrics",          "--metrics-user",    "--metrics-password-hash-file",
    "--metrics-tls-cert", "--metrics-tls-key", "--service-folder"};

struct OptionValue {
  std::string_view name;
  std::string_view value;
};

std::optional<OptionValue> ValueOption(std::span<const std::string_view> arguments,
                                       std::size_t& i) {
  const std::string_view argument = arguments[i];
  for (const std::string_view name : kValueOptions) {
    if (argument == name && i + 1 < arguments.size()) return OptionValue{name, arguments[++i]};
    if (argument.starts_with(name) && argument.substr(name.size()).starts_with('='))
      return OptionValue{name, argument.substr(name.size() + 1)};
  }
  return std::nullopt;
}

// The file holds the hash alone, as `htpasswd -nBC 10 "" | tr -d ':\n'`
// writes it; blanks and a line end around it are dropped.
std::optional<std::string> ReadPasswordHash(const std::string& path, std::string& warning,
                                            std::string& problem) {
  std::ifstream file(path);
  std::string hash;
  if (!file || !std::getline(file, hash)) {
    problem = "cannot read " + path;
    return std::nullopt;
  }
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!hash.empty() && blank(hash.back())) hash.pop_back();
  hash.erase(0, std::min(hash.find_first_not_of(" \t"), hash.size()));
  std::error_code error;
  const auto permissions = std::filesystem::status(path, error).permissions();
  if (!error && (permissions & std::filesystem::perms::others_read) != std::filesystem::perms::none)
    warning = "The password hash file " + path +
              " may be read by every user of this computer: chmod o-r it.";
  return hash;
}

// The service starts in the system folder, which a relative folder would be
// taken from. A refused folder is told when the same command line is tried
// at a command prompt; the service manager only shows that it did not start.
std::string ServiceFolderProblem(const std::string& folder) {
  const std::filesystem::path path(folder);
  if (!path.is_absolute()) return "the service's folder must be a full path, such as C:\\Monitor";
  std::error_code error;
  if (!std::filesystem::is_directory(path, error)) return "there is no such folder";
  return {};
}

// Applies one of kValueOptions to `line`; a sentence when its value is wrong.
std::optional<std::string> ApplyValueOption(const OptionValue& option, CommandLine& line) {
  const std::string value(option.value);
  HeadlessMetrics& metrics = line.metrics;
  std::string problem;
  if (option.name == "--metrics") {
    metrics.address = ParseListenAddress(value, problem);
  } else if (option.name == "--metrics-user") {
    metrics.access.user = value;
  } else if (option.name == "--metrics-password-hash-file") {
    if (auto hash = ReadPasswordHash(value, metrics.warning, problem))
      metrics.access.passwordHash = std::move(*hash);
  } else if (option.name == "--metrics-tls-cert") {
    metrics.access.tlsCertificateFile = value;
  } else if (option.name == "--service-folder") {
    line.serviceFolder = value;
    problem = ServiceFolderProblem(value);
  } else {
    metrics.access.tlsKeyFile = value;
  }
  if (problem.empty()) return std::nullopt;
  return std::string(option.name) + " " + value + ": " + problem;
}

std::optional<std::string> MetricsProblem(const HeadlessMetrics& metrics) {
  const MetricsAccess& access = metrics.access;
  if (!metrics.address && (access.ChecksPassword() || access.UsesTls()))
    return "--metrics-user, --metrics-password-hash-file and --metrics-tls-* go with --metrics";
  return MetricsAccessProblem(access);
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
  using Mode = CommandLine::Mode;
  if (Given(arguments, {"--help", "-h"})) return {Mode::Help, {}, {}, {}};
  if (Given(arguments, {"--version"})) return {Mode::Version, {}, {}, {}};
  if (!Given(arguments, {"--headless"})) return {Mode::Window, {}, {}, {}};
  CommandLine line{Mode::Headless, {}, {}, {}};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--headless" || argument == "--service") continue;
    const auto option = ValueOption(arguments, i);
    if (!option) return Refused("kelvoran: unknown argument '" + std::string(argument) + "'\n");
    if (const auto problem = ApplyValueOption(*option, line))
      return Refused("kelvoran: " + *problem + "\n");
  }
  if (const auto problem = MetricsProblem(line.metrics))
    return Refused("kelvoran: " + *problem + "\n");
  const bool service = Given(arguments, {"--service"});
  if (!service && !line.serviceFolder.empty())
    return Refused("kelvoran: --service-folder goes with --service\n");
  if (!service) return line;
  if (!ServiceManagerNeedsEntry())
    return Refused(
        "kelvoran: --service is for the Windows service control manager; systemd runs\n"
        "kelvoran --headless as it is (kelvoran-headless.service)\n");
  line.mode = Mode::Service;
  return line;
}

std::string VersionText() { return "Kelvoran by Brindlecot " KELVORAN_VERSION "\n"; }

std::string UsageText() {
  return "Usage: kelvoran [--headless [--metrics [ADDRESS:]PORT [--metrics-OPTION VALUE]...]\n"
         "                 [--service [--service-folder FOLDER]] | --help | --version]\n"
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
         "              KELVORAN.LOG there; past 10 MB it is started afresh, the\n"
         "              previous one kept as KELVORAN.LOG.1.\n"
         "  --service-folder FOLDER\n"
         "              With --service: run in FOLDER (a full path that exists)\n"
         "              instead of ProgramData\\Kelvoran.\n"
         "  --metrics [ADDRESS:]PORT\n"
         "              With --headless: serve the hosts' figures for Prometheus at\n"
         "              http://ADDRESS:PORT/metrics. ADDRESS is 127.0.0.1 unless given\n"
         "              (an IPv6 one as [::1]:PORT); " +
         std::to_string(kSuggestedMetricsPort) +
         " is a free port in the\n"
         "              exporters' range.\n"
         "  --metrics-user NAME --metrics-password-hash-file FILE\n"
         "              Ask for HTTP basic auth: NAME, and the password whose bcrypt\n"
         "              hash ($2y$ or $2b$) FILE holds, as htpasswd -B writes it.\n"
         "  --metrics-tls-cert FILE --metrics-tls-key FILE\n"
         "              Serve https:// with this certificate (chain) and key, in PEM.\n"
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
    return RunAsSystemService(line.serviceFolder, [&] {
      LogFile log(kServiceLogName, kServiceLogLimit);
      return log.IsOpen() ? RunHeadless(log, line.metrics) : 1;
    });
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
    default: {
      LogFile log(stderr);
      return RunHeadless(log, line.metrics);
    }
  }
}

}  // namespace kelvoran
