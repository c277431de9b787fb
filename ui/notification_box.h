#pragma once

#include <wx/dialog.h>
#include <wx/textctrl.h>

namespace kelvoran {

// A message box that does not wait for its reader: shown at once, kept above
// other windows, and destroyed when OK is pressed or the box is closed.
// (wxMessageDialog cannot do this on GTK, where it is always modal.)
class NotificationBox : public wxDialog {
 public:
  NotificationBox(wxWindow* parent, const wxString& title, const wxString& message);

  wxString Message() const { return text_->GetValue(); }

 private:
  void Dismiss();

  wxTextCtrl* text_;
};

}  // namespace kelvoran
