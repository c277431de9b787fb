// Takes the picture of the About box shown in the README; not part of the
// test run. `env -u DISPLAY build/tests/about_box_screenshot` writes
// docs/about-box.png (or the path in KELVORAN_SCREENSHOT) on a private display
// with openbox, so the box has its window frame as on a desktop.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "tests/ui/modal_run.h"
#include "tests/ui/screenshot.h"
#include "ui/about_box.h"

namespace kelvoran {
namespace {

TEST(Screenshot, AboutBox) {
  const char* path = std::getenv("KELVORAN_SCREENSHOT");
  auto* box = new CAboutBox(nullptr, 0);
  box->Show();
  testing::PumpEvents(std::chrono::milliseconds(1500));
  EXPECT_TRUE(testing::SaveScreenshot(*box, path ? path : "docs/about-box.png"));
  box->Destroy();
}

}  // namespace
}  // namespace kelvoran
