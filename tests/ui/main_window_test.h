#pragma once

// The real main window over a settings file and a profile in a directory of
// its own, driven by a scheduler whose clock the test sets and which starts
// no worker: results reach the mailbox from the test.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/fileconf.h>

#include <memory>
#include <string>

#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "tests/settings/temp_dir.h"
#include "ui/main_window/main_frame.h"
#include "ui/main_window/tessarel_view.h"

namespace kelvoran::testing {

// A closed frame is destroyed once the application next goes idle.
inline void DestroyClosedWindows() {
  wxTheApp->ProcessPendingEvents();
  wxTheApp->ProcessIdle();
}

class MainWindowTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseFrame(); }

  ProbeScheduler::Environment TestClock(ThreadStarter start = NoThread) {
    return {[this] { return now_; }, std::move(start)};
  }
  static bool NoThread(std::function<void()>) { return false; }

  // Opens the frame, a fresh profile object reading the profile file.
  CMainFrame& OpenFrame(const char* title = "Kelvoran test") {
    profile_ =
        std::make_unique<wxFileConfig>("t", "t", profilePath_, wxString(), wxCONFIG_USE_LOCAL_FILE);
    frame_ = new CMainFrame(*scheduler_, *profile_, settingsPath_, title);
    frame_->View().InitialUpdate();
    return *frame_;
  }
  // Closes the frame and writes the profile to disk.
  void CloseFrame() {
    if (!frame_) return;
    frame_->Close(true);
    DestroyClosedWindows();
    frame_ = nullptr;
    profile_.reset();
  }

  TempDir dir_;
  std::string settingsPath_ = dir_.File();
  std::string profilePath_ = dir_.File("profile.conf");
  std::unique_ptr<wxFileConfig> profile_;
  CalendarTime now_ = 1'800'000'000;
  ResultMailbox mailbox_;
  std::unique_ptr<ProbeScheduler> scheduler_ =
      std::make_unique<ProbeScheduler>(mailbox_, ProbeFunction{}, PopupSender{}, TestClock());
  CMainFrame* frame_ = nullptr;
};

}  // namespace kelvoran::testing
