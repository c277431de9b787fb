#pragma once

#include <wx/string.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "notify/console_presenter.h"

class wxNotificationMessage;
class wxWindow;
class wxWindowDestroyEvent;

namespace kelvoran {

class NotificationBox;

// Shows console messages on this desktop: a NotificationBox, and a desktop
// notification when a notification service runs. Returns at once. The
// notifications go when the parent is destroyed; later boxes have no parent.
//
// Nobody may be at the screen for weeks, so the boxes are bounded: a message
// whose box is still open brings that box to the front and adds the time it
// came again, and when kMaxBoxes are open one summary box takes the rest.
// Every message that came is in a box until its reader closes it.
class DesktopPresenter final : public ConsolePresenter {
 public:
  // The boxes belong to the parent's window tree when one is given.
  explicit DesktopPresenter(wxWindow* parent = nullptr);
  ~DesktopPresenter() override;

  bool Present(const std::string& title, const std::string& message) override;

  // Whether the notification service took the last notification.
  bool LastNotificationPosted() const { return lastPosted_; }

  // The most boxes open at once, the summary box included.
  static constexpr std::size_t kMaxBoxes = 20;

 private:
  // A message box, how often its message came again and the latest times.
  struct OpenBox {
    NotificationBox* box;
    std::size_t repeats;
    std::deque<wxString> latest;
  };
  // A message that came while no room was left for a box of its own.
  struct SummaryEntry {
    wxString message;
    std::size_t count;
    wxString last;
  };

  void PostNotification(const std::string& title, const std::string& message);
  void OnParentDestroyed(wxWindowDestroyEvent& event);
  OpenBox* FindBox(const wxString& title, const wxString& message);
  void OpenNewBox(const wxString& title, const wxString& message);
  void AddToSummary(const wxString& title, const wxString& message, const wxString& now);
  void Forget(NotificationBox* box);

  wxWindow* parent_;
  // Kept alive while they may still be on screen; the oldest go first.
  std::deque<std::unique_ptr<wxNotificationMessage>> notifications_;
  bool lastPosted_ = false;
  std::vector<OpenBox> boxes_;
  NotificationBox* summary_ = nullptr;
  std::vector<SummaryEntry> summarised_;
};

}  // namespace kelvoran
