// Takes the picture of the About box shown in the README; not part of the
// test run. `env -u DISPLAY build/tests/about_box_screenshot` writes
// docs/about-box.png (or the path in KELVORAN_SCREENSHOT) on a private display
// with openbox, so the box has its window frame as on a desktop.
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>

#include <chrono>
#include <cstdlib>

#include "tests/ui/modal_run.h"
#include "ui/about_box.h"

namespace kelvoran {
namespace {

TEST(Screenshot, AboutBox) {
  const char* path = std::getenv("KELVORAN_SCREENSHOT");
  auto* box = new CAboutBox(nullptr, 0);
  box->Show();
  testing::PumpEvents(std::chrono::milliseconds(1500));
  // On GTK a top-level window's rectangle includes the window manager's frame.
  const wxRect area = box->GetScreenRect();
  wxBitmap shot(area.GetSize(), 24);
  {
    wxMemoryDC memory(shot);
    wxScreenDC screen;
    memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y);
  }
  wxInitAllImageHandlers();
  EXPECT_TRUE(
      shot.ConvertToImage().SaveFile(path ? path : "docs/about-box.png", wxBITMAP_TYPE_PNG));
  box->Destroy();
}

}  // namespace
}  // namespace kelvoran
