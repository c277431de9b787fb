// Runs on a real X server (tests/ui/with-xvfb) with a real wx application
// (tests/ui/wx_test_main.cpp).
#include "ui/tray/desktop_presenter.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/log.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <thread>

#include "notify/notification_text.h"
#include "portable/ansi_text.h"
#include "tests/ui/modal_run.h"
#include "ui/tray/notification_box.h"

namespace kelvoran {
namespace {

std::vector<NotificationBox*> OpenBoxes() {
  std::vector<NotificationBox*> boxes;
  for (wxWindow* window : wxTopLevelWindows)
    if (auto* box = dynamic_cast<NotificationBox*>(window); box && !box->IsBeingDeleted())
      boxes.push_back(box);
  return boxes;
}

// Ten thousand characters with line breaks, markup and bytes that are not
// UTF-8.
std::string HostileMessage() {
  std::string message;
  while (message.size() < 10'000) message += "line <b>bold</b> & \xFF\xFE caf\xC3\xA9\n";
  return message;
}

class Presenter : public ::testing::Test {
 protected:
  ~Presenter() override {
    for (NotificationBox* box : OpenBoxes()) box->Destroy();
    wxTheApp->ProcessIdle();
  }
  DesktopPresenter presenter;
};

// Each message in a box of its own, shown whole and as typed, without
// waiting for it and without a complaint when there is no notification
// service; boxes arriving while the operator types leave the keyboard where
// it is, each apart from the one before; OK or the close box ends a box.
TEST_F(Presenter, ShowsEachMessageInABoxAsideWithoutTakingTheKeyboard) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "typing");
  auto* field = new wxTextCtrl(frame, wxID_ANY);
  frame->Show();
  field->SetFocus();
  testing::PumpEvents(std::chrono::milliseconds(300));
  ASSERT_EQ(wxWindow::FindFocus(), field);
  const std::string message = HostileMessage();
  std::ostringstream logged;
  wxLogStream log(&logged);
  wxLog* const previous = wxLog::SetActiveTarget(&log);
  ASSERT_TRUE(presenter.Present("Kelvoran Notification", message));
  ASSERT_TRUE(presenter.Present("Kelvoran Notification", ""));
  wxLog::FlushActive();
  wxLog::SetActiveTarget(previous);
  EXPECT_EQ(logged.str(), "");
  testing::PumpEvents(std::chrono::milliseconds(300));
  EXPECT_EQ(wxWindow::FindFocus(), field);
  const std::vector<NotificationBox*> boxes = OpenBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0]->GetScreenPosition(), boxes[1]->GetScreenPosition());
  NotificationBox* first = boxes[0]->Message().empty() ? boxes[1] : boxes[0];
  EXPECT_EQ(first->GetTitle(), "Kelvoran Notification");
  EXPECT_TRUE(first->IsShown() && !first->IsModal());
  EXPECT_EQ(first->Message().utf8_string(), ToDisplayText(message)) << "shown as typed, whole";
  EXPECT_FALSE(presenter.LastNotificationPosted()) << "no notification service here";
  wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
  boxes[0]->ProcessWindowEvent(ok);
  boxes[1]->Close();
  frame->Destroy();
  wxTheApp->ProcessIdle();
  EXPECT_TRUE(wxTopLevelWindows.empty());
}

// A thousand messages of fifty hosts with nobody answering: each message has
// one box, which lists the times it came again; past the bound one summary
// box names every message left; once it is read, a new one starts.
TEST_F(Presenter, OneBoxPerMessageAndPastTheBoundOneSummaryNamesTheRest) {
  constexpr int kHosts = 50;
  const auto message = [](int host) { return "host" + std::to_string(host) + " & down"; };
  const auto summaryOf = [](const std::vector<NotificationBox*>& boxes) {
    const auto found = std::find_if(boxes.begin(), boxes.end(), [](NotificationBox* box) {
      return box->Text().StartsWith("These messages came");
    });
    return found == boxes.end() ? nullptr : *found;
  };
  for (int round = 0; round < 20; ++round)
    for (int host = 0; host < kHosts; ++host)
      presenter.Present("Kelvoran Notification", message(host));
  const std::vector<NotificationBox*> boxes = OpenBoxes();
  ASSERT_EQ(boxes.size(), DesktopPresenter::kMaxBoxes);
  NotificationBox* summary = summaryOf(boxes);
  ASSERT_NE(summary, nullptr);
  std::set<std::string> boxed;
  for (NotificationBox* box : boxes) {
    if (box == summary) continue;
    boxed.insert(box->Message().utf8_string());
    EXPECT_TRUE(box->Text().StartsWith(box->Message() + "\n\nCame again 19 times, the last at "))
        << box->Text();
  }
  EXPECT_EQ(boxed.size(), DesktopPresenter::kMaxBoxes - 1);
  for (int host = 0; host < kHosts; ++host) {
    if (!boxed.count(message(host))) {
      EXPECT_TRUE(summary->Text().Contains(message(host) + " (20, the last at ")) << host;
    }
  }
  summary->Close();
  wxTheApp->ProcessIdle();
  presenter.Present("Kelvoran Notification", message(kHosts - 1));
  ASSERT_EQ(OpenBoxes().size(), DesktopPresenter::kMaxBoxes);
  NotificationBox* fresh = summaryOf(OpenBoxes());
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(fresh->Text().Contains(message(kHosts - 1) + " (1, the last at "));
  EXPECT_FALSE(fresh->Text().Contains(message(kHosts - 2)));
}

// Run by tests/ui/with-notification-service, which puts a real notification
// service on a private bus and logs every Notify call it gets.
TEST_F(Presenter, NotificationServiceReceivesTheEscapedBody) {
  const char* log = std::getenv("KELVORAN_NOTIFY_LOG");
  ASSERT_NE(log, nullptr) << "run under tests/ui/with-notification-service";
  const std::string message = HostileMessage();
  ASSERT_TRUE(presenter.Present("Kelvoran Notification", message));
  EXPECT_TRUE(presenter.LastNotificationPosted());
  const std::string body = "string \"" + NotificationBody(message) + "\"";
  // The monitor writes the call once the bus has passed it on.
  std::string seen;
  for (int attempt = 0; attempt < 100 && seen.find(body) == std::string::npos; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    seen = testing::FileText(log);
  }
  EXPECT_NE(seen.find(body), std::string::npos) << seen.substr(0, 2000);
  EXPECT_NE(seen.find("string \"Kelvoran Notification\""), std::string::npos);
}

}  // namespace
}  // namespace kelvoran
