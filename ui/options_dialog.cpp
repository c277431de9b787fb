#include "ui/options_dialog.h"

#include <wx/config.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "engine/scheduler.h"
#include "ui/art.h"
#include "ui/dialog_buttons.h"
#include "ui/help_request.h"
#include "ui/number_field.h"

namespace kelvoran {
namespace {

// A group of its own beside "MainWnd": profiles written before the option
// lack it and keep one probe per second.
constexpr const char* kProbesPerSecond = "Options/ProbesPerSecond";
constexpr int IdProbesPerSecond = 1101;

constexpr const char* kProbesPerSecondNote =
    "At one probe per second a list of N hosts is served about once every N seconds, "
    "whatever their repeat times. Raise it when the list is longer than the hosts' repeat "
    "time in seconds.";

}  // namespace

COptionsDialog::COptionsDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Options", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE) {
  SetIcons(AppIcons());
  probesPerSecond_ = new NumberField(this, IdProbesPerSecond, ProbeScheduler::kMinProbesPerTick,
                                     ProbeScheduler::kMaxProbesPerTick);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(new wxStaticText(this, wxID_ANY, "Probes started per second:"), 0,
           wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
  row->Add(probesPerSecond_);
  auto* note = new wxStaticText(this, wxID_ANY, kProbesPerSecondNote);
  note->Wrap(FromDIP(360));

  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(row, 0, wxALL, 10);
  top->Add(note, 0, wxLEFT | wxRIGHT, 10);
  top->Add(OkCancelHelpButtons(this), 0, wxEXPAND | wxALL, 10);
  SetSizerAndFit(top);

  Bind(
      wxEVT_BUTTON, [](wxCommandEvent&) { RequestHelp(kHelpContext); }, wxID_HELP);
  AnswerHelpKey(*this, kHelpContext);
}

void ApplyStoredOptions(const wxConfigBase& profile, ProbeScheduler& scheduler) {
  scheduler.SetProbesPerTick(profile.ReadLong(kProbesPerSecond, ProbeScheduler::kMinProbesPerTick));
}

void EditOptions(wxWindow* parent, wxConfigBase& profile, ProbeScheduler& scheduler) {
  COptionsDialog dialog(parent);
  dialog.ProbesPerSecondField()->SetValue(scheduler.ProbesPerTick());
  dialog.ProbesPerSecondField()->Text()->SetFocus();
  if (dialog.ShowModal() != wxID_OK) return;
  const int probesPerSecond = dialog.ProbesPerSecondField()->GetValue();
  profile.Write(kProbesPerSecond, static_cast<long>(probesPerSecond));
  profile.Flush();
  scheduler.SetProbesPerTick(probesPerSecond);
}

}  // namespace kelvoran
