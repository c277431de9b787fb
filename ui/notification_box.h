#pragma once

#include <wx/dialog.h>
#include <wx/stattext.h>

namespace kelvoran {

// A message box that does not wait for its reader: shown at once, kept above
// other windows, and destroyed when OK is pressed or the box is closed.
// (wxMessageDialog cannot do this on GTK, where it is always modal.)
class NotificationBox : public wxDialog {
 public:
  NotificationBox(wxWindow* parent, const wxString& title, const wxString& message);

  wxString Message() const { return message_; }

 private:
  void Dismiss();

  wxStaticText* text_;
  wxString message_;
};

}  // namespace kelvoran
