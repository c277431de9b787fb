#pragma once

#include <deque>
#include <memory>
#include <string>

#include "notify/console_presenter.h"

class wxNotificationMessage;
class wxWindow;
class wxWindowDestroyEvent;

namespace kelvoran {

// Shows console messages on this desktop: a NotificationBox, and a desktop
// notification when a notification service runs. Returns at once. The
// notifications go when the parent is destroyed; later boxes have no parent.
class DesktopPresenter final : public ConsolePresenter {
 public:
  // The boxes belong to the parent's window tree when one is given.
  explicit DesktopPresenter(wxWindow* parent = nullptr);
  ~DesktopPresenter() override;

  bool Present(const std::string& title, const std::string& message) override;

  // Whether the notification service took the last notification.
  bool LastNotificationPosted() const { return lastPosted_; }

 private:
  void PostNotification(const std::string& title, const std::string& message);
  void OnParentDestroyed(wxWindowDestroyEvent& event);

  wxWindow* parent_;
  // Kept alive while they may still be on screen; the oldest go first.
  std::deque<std::unique_ptr<wxNotificationMessage>> notifications_;
  bool lastPosted_ = false;
};

}  // namespace kelvoran
