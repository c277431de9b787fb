#include "alert/program_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvoran {
namespace {

using Arguments = std::vector<std::string>;

// How the C runtime of a Windows program splits its command line (all but
// the program name): spaces and tabs separate outside quotes; 2n backslashes
// before a quote give n and the quote opens or closes; 2n+1 give n and a
// literal quote; other backslashes are literal; "" inside quotes is a quote.
Arguments SplitLikeTheCRuntime(std::string_view line) {
  Arguments arguments;
  std::string argument;
  bool inArgument = false;
  bool quoted = false;
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (inArgument) arguments.push_back(std::exchange(argument, {}));
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      const std::size_t end = line.find_first_not_of('\\', i);
      const std::size_t count = (end == std::string_view::npos ? line.size() : end) - i;
      const bool beforeQuote = end != std::string_view::npos && line[end] == '"';
      argument.append(beforeQuote ? count / 2 : count, '\\');
      const bool escapedQuote = beforeQuote && count % 2 == 1;
      if (escapedQuote) argument += '"';
      i += count + (escapedQuote ? 1 : 0);
    } else if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      argument += '"';
      i += 2;
    } else if (c == '"') {
      quoted = !quoted;
      ++i;
    } else {
      argument += c;
      ++i;
    }
  }
  if (inArgument) arguments.push_back(argument);
  return arguments;
}

TEST(WindowsCommandLine, SplitsBackIntoTheSameArguments) {
  const Arguments arguments = {"",           "x y",     "\\",           "\\\\\"",     "end\\\\",
                               "\"\"",       "a\"\"b",  "\t",           "  lead",     "tail\\ ",
                               "$(x)",       "a;b&c|d", "%PATH% ^&",    "\xc3\xa9",   "\\\"\\",
                               "say \"hi\"", "\"",      "C:\\my dir\\", "a\\\\\"b c", "plain"};
  EXPECT_EQ(SplitLikeTheCRuntime(WindowsCommandLine(arguments)), arguments);
  EXPECT_EQ(WindowsCommandLine({"a", "", "b c"}), "a \"\" \"b c\"");
}

TEST(ProgramArguments, KeepsEachHostileValueOneArgument) {
  AlertEvent event;
  event.host = "a\"b'; $(reboot) `id` c\nd";
  event.status = "ERROR";
  const Arguments arguments =
      ProgramArguments({"/usr/bin/page", "--host={host}", "{status}", "{{literal}}"}, event);
  EXPECT_EQ(arguments, (Arguments{"/usr/bin/page", "--host=" + event.host, "ERROR", "{literal}"}));
}

}  // namespace
}  // namespace kelvoran
