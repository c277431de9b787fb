#include "ui/dialogs/number_field.h"

#include <wx/sizer.h>
#include <wx/spinbutt.h>
#include <wx/textctrl.h>
#include <wx/valtext.h>

#include <algorithm>
#include <charconv>

namespace kelvoran {

NumberField::NumberField(wxWindow* parent, wxWindowID id, int minimum, int maximum)
    : wxPanel(parent, wxID_ANY), minimum_(minimum), maximum_(maximum), lastValid_(minimum) {
  text_ = new wxTextCtrl(this, id, wxString(), wxDefaultPosition, wxSize(FromDIP(70), -1), 0,
                         wxTextValidator(wxFILTER_DIGITS));
  spin_ = new wxSpinButton(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                           wxSP_VERTICAL | wxSP_ARROW_KEYS);
  spin_->SetRange(minimum, maximum);
  // One tab stop per field: the up-down button is a GtkSpinButton with an
  // entry of its own, and digits or letters typed there would be parsed by
  // GTK and clamped to the range's ends. It still takes clicks.
  spin_->SetCanFocus(false);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(text_, 1, wxALIGN_CENTER_VERTICAL);
  row->Add(spin_, 0, wxEXPAND);
  SetSizer(row);
  text_->Bind(wxEVT_TEXT, &NumberField::OnText, this);
  text_->Bind(wxEVT_KEY_DOWN, &NumberField::OnKeyDown, this);
  spin_->Bind(wxEVT_SPIN, &NumberField::OnSpin, this);
}

void NumberField::SetValue(long long value) {
  lastValid_ = static_cast<int>(std::clamp<long long>(value, minimum_, maximum_));
  spin_->SetValue(lastValid_);
  text_->ChangeValue(wxString::Format("%d", lastValid_));
}

int NumberField::GetValue() const {
  int value = 0;
  return ParseText(value) ? value : lastValid_;
}

bool NumberField::ParseText(int& value) const {
  const std::string digits = text_->GetValue().ToStdString();
  const char* end = digits.data() + digits.size();
  auto [stop, error] = std::from_chars(digits.data(), end, value);
  return !digits.empty() && error == std::errc() && stop == end && value >= minimum_ &&
         value <= maximum_;
}

void NumberField::OnText(wxCommandEvent& event) {
  // The arrows step from what is typed; the last valid value stays, since a
  // number typed digit by digit passes through values nobody chose.
  int value = 0;
  if (ParseText(value)) spin_->SetValue(value);
  event.Skip();
}

void NumberField::OnSpin(wxSpinEvent& event) { SetValue(event.GetPosition()); }

void NumberField::OnKeyDown(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_UP:
      Step(+1);
      break;
    case WXK_DOWN:
      Step(-1);
      break;
    default:
      event.Skip();
      break;
  }
}

void NumberField::Step(int delta) { SetValue(static_cast<long long>(GetValue()) + delta); }

}  // namespace kelvoran
