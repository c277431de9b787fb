#include "ui/tray/notification_box.h"

#include <wx/button.h>
#include <wx/display.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "ui/parts/window_group.h"

namespace kelvoran {

NotificationBox::NotificationBox(wxWindow* parent, const wxString& title, const wxString& message)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxSTAY_ON_TOP),
      message_(message),
      shown_(message) {
  // A label, as in a message box. Not a read-only text control: a window of
  // its own group that holds a scrolled control takes the keys meant for a
  // modal dialog beside it (seen with GTK 3.24), and the box must never take
  // the typing of the dialog the operator is in. A message is at most the
  // 1023 characters the settings file holds, which a wrapped label shows.
  text_ = new wxStaticText(this, wxID_ANY, wxString());
  // As text, not a label: an "&" is shown, not taken for a mnemonic.
  text_->SetLabelText(message);
  text_->Wrap(FromDIP(360));
  text_->SetMinSize(wxSize(FromDIP(360), -1));
  auto* ok = new wxButton(this, wxID_OK);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(text_, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(16)));
  column->Add(ok, wxSizerFlags().Center().Border(wxBOTTOM, FromDIP(12)));
  SetSizerAndFit(column);
  // A box that arrives while a modal dialog is open must take its OK at once,
  // and must not hand the dialog's keys to itself either.
  KeepOutOfModalGrabs(*this);
  SetEscapeId(wxID_OK);
  ok->SetDefault();
  // A modeless dialog is only hidden by its default handlers; it has to be
  // destroyed, or every message ever shown stays in memory.
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Dismiss(); }, wxID_OK);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Dismiss(); });
}

void NotificationBox::ShowAside(int place) {
  // About a title bar's height: each box's title stays in sight below the one
  // before. After a screenful of steps the cascade starts again at the top.
  const int step = FromDIP(28);
  const wxRect area = wxDisplay(GetParent() ? GetParent() : this).GetClientArea();
  CentreOnParent();
  const wxPoint centred = GetPosition();
  const int fit = std::max(1, (area.GetBottom() - centred.y - GetSize().y) / step + 1);
  const wxPoint shifted = centred + wxPoint(step, step) * (place % fit);
  Move(std::max(area.GetLeft(), std::min(shifted.x, area.GetRight() - GetSize().x)),
       std::max(area.GetTop(), shifted.y));
  ShowWithoutActivating();
}

NotificationBox::~NotificationBox() {
  if (onGone_) onGone_();
}

void NotificationBox::ShowText(const wxString& text) {
  shown_ = text;
  text_->SetLabelText(text);
  text_->Wrap(FromDIP(360));
  GetSizer()->SetSizeHints(this);
}

void NotificationBox::Dismiss() {
  if (!IsBeingDeleted()) Destroy();
}

}  // namespace kelvoran
