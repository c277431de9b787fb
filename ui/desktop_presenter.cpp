#include "ui/desktop_presenter.h"

#include <wx/log.h>
#include <wx/notifmsg.h>
#include <wx/window.h>

#include "notify/notification_text.h"
#include "portable/ansi_text.h"
#include "ui/notification_box.h"

namespace kelvoran {
namespace {

constexpr std::size_t kNotificationsKept = 16;

wxString ToWx(std::string_view text) { return wxString::FromUTF8(ToDisplayText(text)); }

}  // namespace

DesktopPresenter::DesktopPresenter(wxWindow* parent) : parent_(parent) {
  if (parent_) parent_->Bind(wxEVT_DESTROY, &DesktopPresenter::OnParentDestroyed, this);
}

DesktopPresenter::~DesktopPresenter() {
  if (parent_) parent_->Unbind(wxEVT_DESTROY, &DesktopPresenter::OnParentDestroyed, this);
}

void DesktopPresenter::OnParentDestroyed(wxWindowDestroyEvent& event) {
  event.Skip();
  if (event.GetEventObject() != parent_) return;
  // wxMSW shows a notification through a tray icon of its own, a hidden
  // top-level window that goes only when the balloon is dismissed: left alone
  // it would keep the program running once the main window is gone. Deleting
  // the notification leaves the icon; closing it releases the icon.
  for (const auto& notification : notifications_) notification->Close();
  notifications_.clear();
  parent_ = nullptr;
}

bool DesktopPresenter::Present(const std::string& title, const std::string& message) {
  auto* box = new NotificationBox(parent_, ToWx(title), ToWx(message));
  box->Show();
  box->Raise();
  PostNotification(title, message);
  return true;
}

void DesktopPresenter::PostNotification(const std::string& title, const std::string& message) {
  // The service may read the body as markup; the title is always plain text.
  auto notification = std::make_unique<wxNotificationMessage>(
      ToWx(title), wxString::FromUTF8(NotificationBody(message)), parent_);
  {
    // wx logs a failure to reach the notification service; the box is up
    // anyway, so a desktop without one is no news.
    wxLogNull quiet;
    lastPosted_ = notification->Show(wxNotificationMessage::Timeout_Never);
  }
  if (!lastPosted_) return;
  notifications_.push_back(std::move(notification));
  if (notifications_.size() > kNotificationsKept) notifications_.pop_front();
}

}  // namespace kelvoran
