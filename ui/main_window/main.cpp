#include <wx/app.h>

#include "headless/command_line.h"
#include "ui/main_window/tessarel_app.h"

// --help, --version and --headless are answered before the toolkit starts:
// without a window there may be no display to start it on.
int main(int argc, char** argv) {
  if (const auto status = kelvoran::RunWithoutWindow(argc, argv)) return *status;
  return wxEntry(argc, argv);
}
