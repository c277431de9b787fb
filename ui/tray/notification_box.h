#pragma once

#include <wx/dialog.h>
#include <wx/stattext.h>

#include <functional>

namespace kelvoran {

// A message box that does not wait for its reader: shown at once, kept above
// other windows, and destroyed when OK is pressed or the box is closed.
// (wxMessageDialog cannot do this on GTK, where it is always modal.)
class NotificationBox : public wxDialog {
 public:
  NotificationBox(wxWindow* parent, const wxString& title, const wxString& message);
  ~NotificationBox() override;

  // The message the box was opened with.
  wxString Message() const { return message_; }
  // What the box shows now, before it is wrapped to the box's width.
  wxString Text() const { return shown_; }
  // Shows the box without taking the keyboard from what the operator is
  // typing into, `place` steps down and to the right of the centre of its
  // parent (or the screen), so that boxes open at once do not hide each other.
  void ShowAside(int place);
  // Shows a new text in place of the old one, the box sized to it.
  void ShowText(const wxString& text);
  // Called when the box goes, whoever closes it; empty for none.
  void SetOnGone(std::function<void()> onGone) { onGone_ = std::move(onGone); }

 private:
  void Dismiss();

  wxStaticText* text_;
  wxString message_;
  wxString shown_;
  std::function<void()> onGone_;
};

}  // namespace kelvoran
