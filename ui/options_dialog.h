#pragma once

#include <wx/dialog.h>

class wxConfigBase;

namespace kelvoran {

class NumberField;
class ProbeScheduler;

// "Options": the settings of the program itself, as opposed to those of a
// host. They live in the user's profile, beside the window placement.
class COptionsDialog : public wxDialog {
 public:
  static constexpr int kHelpContext = 0x20000 + 131;

  explicit COptionsDialog(wxWindow* parent);

  NumberField* ProbesPerSecondField() const { return probesPerSecond_; }

 private:
  NumberField* probesPerSecond_ = nullptr;
};

// Sets the scheduler from the profile. A profile written before the option
// existed lacks it and keeps one probe per second; a hand-edited value
// outside 1..500 is brought into range.
void ApplyStoredOptions(const wxConfigBase& profile, ProbeScheduler& scheduler);

// Shows the dialog with the scheduler's current values; OK stores them in the
// profile and applies them from the next tick on.
void EditOptions(wxWindow* parent, wxConfigBase& profile, ProbeScheduler& scheduler);

}  // namespace kelvoran
