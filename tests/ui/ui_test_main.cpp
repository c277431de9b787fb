// Runs the UI tests against a private Xvfb server, with a real wx application
// object, so windows are really created, mapped and painted.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>

#include "tests/ui/xvfb_server.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Test discovery at build time needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  kelvoran::test::XvfbServer server;
  if (server.Display().empty()) {
    std::fprintf(stderr, "could not start Xvfb (is the xvfb package installed?)\n");
    return EXIT_FAILURE;
  }
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("GDK_BACKEND", "x11", 1);
  // No accessibility bus in a test session; GTK would wait for it.
  setenv("NO_AT_BRIDGE", "1", 1);

  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "could not initialise wxWidgets on %s\n", server.Display().c_str());
    return EXIT_FAILURE;
  }
  const int result = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
