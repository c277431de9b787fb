#include "ui/notification_box.h"

#include <wx/button.h>
#include <wx/sizer.h>

#include "ui/window_group.h"

namespace kelvoran {

NotificationBox::NotificationBox(wxWindow* parent, const wxString& title, const wxString& message)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxSTAY_ON_TOP) {
  // A read-only text control rather than a label: a long message scrolls
  // instead of growing the box past the screen, and its text can be copied.
  text_ = new wxTextCtrl(this, wxID_ANY, message, wxDefaultPosition, wxDefaultSize,
                         wxTE_MULTILINE | wxTE_READONLY | wxTE_WORDWRAP | wxBORDER_NONE);
  text_->SetBackgroundColour(GetBackgroundColour());
  text_->SetMinSize(FromDIP(wxSize(360, 120)));
  auto* ok = new wxButton(this, wxID_OK);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(text_, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(12)));
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

void NotificationBox::Dismiss() {
  if (!IsBeingDeleted()) Destroy();
}

}  // namespace kelvoran
