// The main window's remembered placement, with a window manager on the
// display: maximising and minimising need one.
#include <gtest/gtest.h>
#include <wx/fileconf.h>

#include <cstdio>
#include <regex>

#include "tests/ui/main_window_test.h"
#include "tests/ui/modal_run.h"

namespace kelvoran {
namespace {

using testing::Eventually;

std::string Output(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
  }
  return output;
}

// The window as a user sees it, decorations included: the X server's
// geometry of the window manager's frame around the window of that title, as
// xwininfo shows it. The frame's own idea of its rectangle can differ from it
// (GTK places and sizes a window asynchronously).
wxRect OnScreen() {
  std::smatch parent;
  const std::string tree = Output("xwininfo -tree -name Placement 2>/dev/null");
  if (!std::regex_search(tree, parent, std::regex(R"(Parent window id: (0x[0-9a-f]+))"))) return {};
  const std::string info = Output("xwininfo -id " + parent[1].str());
  const auto field = [&](const std::string& name) {
    std::smatch match;
    return std::regex_search(info, match, std::regex(name + R"(:\s*(-?\d+))")) ? std::stoi(match[1])
                                                                               : -999;
  };
  return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
          field("Height")};
}

std::string Text(const wxRect& rect) {
  return wxString::Format("%d,%d %dx%d", rect.x, rect.y, rect.width, rect.height).ToStdString();
}

class Placement : public testing::MainWindowTest {
 protected:
  // Starts the window as the program does: placement from the profile, then
  // the stored show state.
  void Start() { OpenFrame("Placement").ShowWithStoredState(); }
  // Closes the window and reads the show state and restored rectangle it
  // stored: showCmd, left, top, right, bottom.
  std::vector<long> CloseAndReadStored() {
    CloseFrame();
    wxFileConfig profile("t", "t", profilePath_, wxString(), wxCONFIG_USE_LOCAL_FILE);
    std::vector<long> stored;
    for (const char* key : {"showCmd", "rcNormalPositionLeft", "rcNormalPositionTop",
                            "rcNormalPositionRight", "rcNormalPositionBottom"})
      stored.push_back(profile.ReadLong(wxString("MainWnd/") + key, -999));
    return stored;
  }
  bool Shows(const wxRect& rect) {
    return Eventually([&] { return OnScreen() == rect; }) ||
           (ADD_FAILURE() << Text(OnScreen()), false);
  }
};

// The rectangle a user gave the window and its maximised state come back
// after a restart; maximising keeps the restored rectangle.
TEST_F(Placement, RestoredRectangleAndMaximisedStateSurviveARestart) {
  const auto maximized = [this] { return frame_->IsMaximized(); };
  Start();
  ASSERT_TRUE(Eventually(maximized)) << "first start";
  frame_->Maximize(false);
  EXPECT_TRUE(Shows({0, 0, 700, 500})) << "the default rectangle: " << Text(OnScreen());
  // Moved and resized through the window manager, as a user does it.
  Output("xdotool search --name '^Placement$' windowmove 140 130 windowsize 480 360");
  ASSERT_TRUE(Eventually([] { return OnScreen().GetTopLeft() == wxPoint(140, 130); }));
  testing::PumpEvents(std::chrono::seconds(2));  // the frame hears of it
  const wxRect moved = OnScreen();
  const long right = moved.GetRight() + 1, bottom = moved.GetBottom() + 1;
  EXPECT_EQ(CloseAndReadStored(), (std::vector<long>{1, 140, 130, right, bottom}));

  Start();
  EXPECT_TRUE(Shows(moved)) << "reopened: " << Text(OnScreen());
  frame_->Maximize();
  ASSERT_TRUE(Eventually(maximized));
  EXPECT_EQ(CloseAndReadStored(), (std::vector<long>{3, 140, 130, right, bottom}));
  Start();
  ASSERT_TRUE(Eventually(maximized));
  frame_->Maximize(false);
  EXPECT_TRUE(Shows(moved)) << "the restored rectangle: " << Text(OnScreen());
}

}  // namespace
}  // namespace kelvoran
