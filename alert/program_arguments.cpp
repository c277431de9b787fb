#include "alert/program_arguments.h"

#include <algorithm>
#include <cctype>

#include "alert/alert_template.h"

namespace kelvoran {
namespace {

bool NeedsQuotes(const std::string& argument) {
  return argument.empty() || argument.find_first_of(" \t\n\v\"") != std::string::npos;
}

void AppendQuoted(std::string& line, const std::string& argument) {
  line += '"';
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote.
    const std::size_t copies = c == '"' ? 2 * backslashes + 1 : backslashes;
    line.append(copies, '\\');
    line += c;
    backslashes = 0;
  }
  // The closing quote follows: these backslashes must not escape it.
  line.append(2 * backslashes, '\\');
  line += '"';
}

}  // namespace

std::vector<std::string> ProgramArguments(const std::vector<std::string>& configured,
                                          const AlertEvent& event) {
  std::vector<std::string> arguments;
  arguments.reserve(configured.size());
  for (const std::string& argument : configured) {
    arguments.push_back(RenderAlert(argument, event, Escaping::None));
  }
  return arguments;
}

std::vector<std::pair<std::string, std::string>> AlertEnvironment(const AlertEvent& event) {
  std::vector<std::pair<std::string, std::string>> variables;
  for (const AlertField& field : AlertFields()) {
    std::string name = "KELVORAN_" + std::string(field.name);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    variables.emplace_back(std::move(name), field.value(event));
  }
  return variables;
}

std::string WindowsCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    if (NeedsQuotes(argument)) {
      AppendQuoted(line, argument);
    } else {
      line += argument;
    }
  }
  return line;
}

}  // namespace kelvoran
