#pragma once

#include <wx/panel.h>

class wxSpinButton;
class wxSpinEvent;
class wxTextCtrl;

namespace kelvoran {

// A text field taking digits only, with an up-down button at its right edge.
// Its last valid value is the one it was given or the arrows left it at;
// typing never changes it, so digits typed on the way to a number that turns
// out of range are never stored.
class NumberField : public wxPanel {
 public:
  NumberField(wxWindow* parent, wxWindowID id, int minimum, int maximum);

  // Shows the value, brought into range, and makes it the last valid one.
  void SetValue(long long value);
  // The text's number when it is a whole number within range, otherwise the
  // last valid value.
  int GetValue() const;

  wxTextCtrl* Text() const { return text_; }
  wxSpinButton* Spin() const { return spin_; }

 private:
  void OnText(wxCommandEvent& event);
  void OnSpin(wxSpinEvent& event);
  void OnKeyDown(wxKeyEvent& event);
  void Step(int delta);
  bool ParseText(int& value) const;

  wxTextCtrl* text_;
  wxSpinButton* spin_;
  int minimum_;
  int maximum_;
  int lastValid_;
};

}  // namespace kelvoran
