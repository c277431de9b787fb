#include "alert/program_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvoran {
namespace {

using Arguments = std::vector<std::string>;

// The C runtime of a Windows program splits its command line back: 2n
// backslashes before a quote give n, 2n+1 give n and a literal quote, other
// backslashes are literal. (alert_system_tests runs the real split under
// Wine.)
TEST(WindowsCommandLine, QuotesOnlyWhatTheCRuntimeWouldSplitOrStrip) {
  EXPECT_EQ(WindowsCommandLine({"plain", "", "C:\\my dir\\", "say \"hi\"", R"(a\"b c)", "end\\"}),
            R"(plain "" "C:\my dir\\" "say \"hi\"" "a\\\"b c" end\)");
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
