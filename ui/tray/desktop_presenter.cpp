#include "ui/tray/desktop_presenter.h"

#include <wx/datetime.h>
#include <wx/log.h>
#include <wx/notifmsg.h>
#include <wx/window.h>

#include <algorithm>

#include "notify/notification_text.h"
#include "portable/ansi_text.h"
#include "ui/tray/notification_box.h"

namespace kelvoran {
namespace {

constexpr std::size_t kNotificationsKept = 16;
// A box lists the latest times its message came again; the summary box lists
// its first messages. Both stay a size a screen can show.
constexpr std::size_t kRepeatsShown = 10;
constexpr std::size_t kSummaryLines = 40;
constexpr std::size_t kSummaryLineLength = 80;

wxString Now() { return wxDateTime::Now().FormatISOCombined(' '); }

wxString RepeatsText(const std::deque<wxString>& latest, std::size_t count) {
  wxString text = count == latest.size()
                      ? wxString("Came again at ")
                      : wxString::Format("Came again %zu times, the last at ", count);
  for (std::size_t i = 0; i < latest.size(); ++i) text += (i ? ", " : "") + latest[i];
  return text + ".";
}

// The message's first line, cut to a summary line's length.
wxString Headline(const wxString& message) {
  wxString line = message.BeforeFirst('\n');
  if (line.length() > kSummaryLineLength) line = line.Left(kSummaryLineLength) + "...";
  return line.empty() ? wxString("(no message text)") : line;
}

wxString ToWx(std::string_view text) { return wxString::FromUTF8(ToDisplayText(text)); }

}  // namespace

DesktopPresenter::DesktopPresenter(wxWindow* parent) : parent_(parent) {
  if (parent_) parent_->Bind(wxEVT_DESTROY, &DesktopPresenter::OnParentDestroyed, this);
}

DesktopPresenter::~DesktopPresenter() {
  if (parent_) parent_->Unbind(wxEVT_DESTROY, &DesktopPresenter::OnParentDestroyed, this);
  // Boxes still open outlive the presenter; they must not call back.
  for (OpenBox& open : boxes_) open.box->SetOnGone({});
  if (summary_) summary_->SetOnGone({});
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
  const wxString caption = ToWx(title), text = ToWx(message), now = Now();
  if (OpenBox* open = FindBox(caption, text)) {
    ++open->repeats;
    open->latest.push_back(now);
    if (open->latest.size() > kRepeatsShown) open->latest.pop_front();
    open->box->ShowText(text + "\n\n" + RepeatsText(open->latest, open->repeats));
    open->box->Raise();
  } else if (boxes_.size() + 1 < kMaxBoxes) {
    OpenNewBox(caption, text);
  } else {
    AddToSummary(caption, text, now);
  }
  PostNotification(title, message);
  return true;
}

DesktopPresenter::OpenBox* DesktopPresenter::FindBox(const wxString& title,
                                                     const wxString& message) {
  const auto found = std::find_if(boxes_.begin(), boxes_.end(), [&](const OpenBox& open) {
    return open.box->Message() == message && open.box->GetTitle() == title;
  });
  return found == boxes_.end() ? nullptr : &*found;
}

void DesktopPresenter::OpenNewBox(const wxString& title, const wxString& message) {
  auto* box = new NotificationBox(parent_, title, message);
  box->SetOnGone([this, box] { Forget(box); });
  boxes_.push_back({box, 0, {}});
  box->ShowAside(static_cast<int>(boxes_.size() - 1));
}

void DesktopPresenter::AddToSummary(const wxString& title, const wxString& message,
                                    const wxString& now) {
  const auto same = [&](const SummaryEntry& entry) { return entry.message == message; };
  if (auto found = std::find_if(summarised_.begin(), summarised_.end(), same);
      found != summarised_.end()) {
    ++found->count;
    found->last = now;
  } else {
    summarised_.push_back({message, 1, now});
  }
  wxString text = wxString::Format("These messages came while %zu boxes were open:\n", kMaxBoxes);
  for (std::size_t i = 0; i < summarised_.size() && i < kSummaryLines; ++i) {
    const SummaryEntry& entry = summarised_[i];
    text += wxString::Format("\n%s (%zu, the last at %s)", Headline(entry.message), entry.count,
                             entry.last);
  }
  if (summarised_.size() > kSummaryLines)
    text += wxString::Format("\n... and %zu more.", summarised_.size() - kSummaryLines);
  if (!summary_) {
    summary_ = new NotificationBox(parent_, title, text);
    summary_->SetOnGone([this] { Forget(summary_); });
    summary_->ShowAside(static_cast<int>(boxes_.size()));
  } else {
    summary_->ShowText(text);
  }
}

void DesktopPresenter::Forget(NotificationBox* box) {
  if (box == summary_) {
    // Its reader has seen them.
    summary_ = nullptr;
    summarised_.clear();
    return;
  }
  std::erase_if(boxes_, [box](const OpenBox& open) { return open.box == box; });
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
