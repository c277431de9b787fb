// The main window's remembered placement, with a window manager on the
// display: maximising and minimising need one.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/fileconf.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "ui/main_frame.h"
#include "ui/tessarel_view.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;

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

class Placement : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kelvoran-placement-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    profilePath_ = (dir_ / "profile.conf").string();
    scheduler_ = std::make_unique<ProbeScheduler>(
        mailbox_, ProbeFunction{}, PopupSender{},
        ProbeScheduler::Environment{SystemClock, [](std::function<void()>) { return false; }});
  }
  void TearDown() override {
    if (frame_) Close();
    fs::remove_all(dir_);
  }

  // Starts the window as the program does: placement from the profile, then
  // the stored show state.
  void Start() {
    profile_ =
        std::make_unique<wxFileConfig>("t", "t", profilePath_, wxString(), wxCONFIG_USE_LOCAL_FILE);
    frame_ = new CMainFrame(*scheduler_, *profile_, (dir_ / "KELVORAN.INI").string(), "Placement");
    frame_->View().InitialUpdate();
    frame_->ShowWithStoredState();
  }
  void Close() {
    frame_->Close(true);
    wxTheApp->ProcessIdle();
    frame_ = nullptr;
    profile_.reset();  // written to disk, read again by the next Start
  }
  long Stored(const char* key) {
    wxFileConfig profile("t", "t", profilePath_, wxString(), wxCONFIG_USE_LOCAL_FILE);
    return profile.ReadLong(wxString("MainWnd/") + key, -999);
  }

  fs::path dir_;
  std::string profilePath_;
  ResultMailbox mailbox_;
  std::unique_ptr<ProbeScheduler> scheduler_;
  std::unique_ptr<wxFileConfig> profile_;
  CMainFrame* frame_ = nullptr;
};

std::string SizeOf(wxWindow* window) {
  return std::to_string(window->GetSize().x) + "x" + std::to_string(window->GetSize().y);
}

TEST_F(Placement, MaximisedRestoredAndMinimisedStatesSurviveARestart) {
  Start();
  ASSERT_TRUE(Eventually([&] { return frame_->IsMaximized(); })) << "first start";
  frame_->Maximize(false);
  ASSERT_TRUE(Eventually([&] { return frame_->GetSize() == wxSize(700, 500); }))
      << "the default rectangle: " << SizeOf(frame_);
  frame_->SetSize(wxSize(50, 50));
  EXPECT_TRUE(Eventually([&] { return frame_->GetSize() == wxSize(197, 180); }))
      << "the minimum: " << SizeOf(frame_);
  frame_->SetSize(wxRect(40, 30, 500, 400));
  ASSERT_TRUE(Eventually([&] { return frame_->GetSize() == wxSize(500, 400); }));
  Close();
  EXPECT_EQ(Stored("showCmd"), 1);
  EXPECT_EQ(Stored("rcNormalPositionRight") - Stored("rcNormalPositionLeft"), 500);
  EXPECT_EQ(Stored("rcNormalPositionBottom") - Stored("rcNormalPositionTop"), 400);

  Start();
  frame_->Maximize();
  ASSERT_TRUE(Eventually([&] { return frame_->IsMaximized(); }));
  Close();
  EXPECT_EQ(Stored("showCmd"), 3);
  EXPECT_EQ(Stored("rcNormalPositionRight") - Stored("rcNormalPositionLeft"), 500);
  Start();
  ASSERT_TRUE(Eventually([&] { return frame_->IsMaximized(); }));
  frame_->Maximize(false);
  EXPECT_TRUE(Eventually([&] { return frame_->GetSize() == wxSize(500, 400); }))
      << "the restored rectangle: " << SizeOf(frame_);

  frame_->Iconize();
  ASSERT_TRUE(Eventually([&] { return frame_->IsIconized(); }));
  Close();
  EXPECT_EQ(Stored("showCmd"), 2);
  Start();
  EXPECT_TRUE(Eventually([&] { return frame_->IsIconized(); }));
}

}  // namespace
}  // namespace kelvoran
