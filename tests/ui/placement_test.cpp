// The main window's remembered placement, with a window manager on the
// display: maximising and minimising need one.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/fileconf.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <regex>
#include <string>

#include "tests/ui/main_window_test.h"

namespace kelvoran {
namespace {

// Window managers answer asynchronously: pump events until the condition
// holds or two seconds have passed.
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    wxTheApp->Yield(true);
    wxMilliSleep(20);
  }
  return true;
}

std::string Output(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
  }
  return output;
}

int Field(const std::string& text, const char* name) {
  std::smatch match;
  const std::regex field(std::string(name) + R"(:\s*(-?\d+))");
  return std::regex_search(text, match, field) ? std::stoi(match[1]) : -999;
}

// The window as a user sees it, decorations included: the X server's
// geometry of the window manager's frame around the window of that title, as
// xwininfo shows it. The frame's own idea of its rectangle can differ from it
// (GTK places and sizes a window asynchronously).
wxRect OnScreen(const std::string& title) {
  std::smatch parent;
  const std::string tree = Output("xwininfo -tree -name '" + title + "' 2>/dev/null");
  if (!std::regex_search(tree, parent, std::regex(R"(Parent window id: (0x[0-9a-f]+))"))) return {};
  const std::string info = Output("xwininfo -id " + parent[1].str());
  return {Field(info, "Absolute upper-left X"), Field(info, "Absolute upper-left Y"),
          Field(info, "Width"), Field(info, "Height")};
}

std::string Text(const wxRect& rect) {
  return std::to_string(rect.x) + "," + std::to_string(rect.y) + " " + std::to_string(rect.width) +
         "x" + std::to_string(rect.height);
}

class Placement : public testing::MainWindowTest {
 protected:
  // Starts the window as the program does: placement from the profile, then
  // the stored show state.
  void Start() { OpenFrame("Placement").ShowWithStoredState(); }
  long Stored(const char* key) {
    wxFileConfig profile("t", "t", profilePath_, wxString(), wxCONFIG_USE_LOCAL_FILE);
    return profile.ReadLong(wxString("MainWnd/") + key, -999);
  }
};

TEST_F(Placement, MaximisedRestoredAndMinimisedStatesSurviveARestart) {
  const auto shows = [](const wxRect& rect) {
    return Eventually([&] { return OnScreen("Placement") == rect; });
  };
  Start();
  ASSERT_TRUE(Eventually([&] { return frame_->IsMaximized(); })) << "first start";
  frame_->Maximize(false);
  EXPECT_TRUE(shows({0, 0, 700, 500})) << "the default rectangle: " << Text(OnScreen("Placement"));
  // Moved and resized through the window manager, as a user does it.
  Output("xdotool search --name '^Placement$' windowmove 140 130 windowsize 480 360");
  ASSERT_TRUE(Eventually([&] { return OnScreen("Placement").GetTopLeft() == wxPoint(140, 130); }));
  Eventually([] { return false; });  // the frame hears of it
  const wxRect moved = OnScreen("Placement");
  CloseFrame();
  EXPECT_EQ(Stored("showCmd"), 1);
  EXPECT_EQ(Stored("rcNormalPositionLeft"), 140);
  EXPECT_EQ(Stored("rcNormalPositionTop"), 130);
  EXPECT_EQ(Stored("rcNormalPositionRight"), moved.GetRight() + 1);
  EXPECT_EQ(Stored("rcNormalPositionBottom"), moved.GetBottom() + 1);

  Start();
  EXPECT_TRUE(shows(moved)) << "reopened: " << Text(OnScreen("Placement"));
  frame_->Maximize();
  ASSERT_TRUE(Eventually([&] { return frame_->IsMaximized(); }));
  CloseFrame();
  EXPECT_EQ(Stored("showCmd"), 3);
  EXPECT_EQ(Stored("rcNormalPositionLeft"), 140) << "the restored rectangle is kept";
  EXPECT_EQ(Stored("rcNormalPositionBottom"), moved.GetBottom() + 1);
  Start();
  ASSERT_TRUE(Eventually([&] { return frame_->IsMaximized(); }));
  frame_->Maximize(false);
  EXPECT_TRUE(shows(moved)) << "the restored rectangle: " << Text(OnScreen("Placement"));

  frame_->Iconize();
  ASSERT_TRUE(Eventually([&] { return frame_->IsIconized(); }));
  CloseFrame();
  EXPECT_EQ(Stored("showCmd"), 2);
  EXPECT_EQ(Stored("rcNormalPositionTop"), 130);
  Start();
  EXPECT_TRUE(Eventually([&] { return frame_->IsIconized(); }));
  frame_->Iconize(false);
  frame_->SetSize(wxSize(50, 50));
  EXPECT_TRUE(Eventually([&] { return frame_->GetSize() == wxSize(197, 180); }))
      << "the minimum: " << Text(frame_->GetRect());
}

}  // namespace
}  // namespace kelvoran
