#include "ui/main_window/mute_menu.h"

#include <wx/datectrl.h>
#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/timectrl.h>

#include <algorithm>
#include <iterator>

#include "engine/host_mute.h"
#include "ui/main_window/command_ids.h"
#include "ui/main_window/commands.h"

namespace kelvoran {
namespace {

// Each choice's commands for the hosts and for the list, and how long it
// mutes: minutes, or one of the two kinds below.
constexpr int kAskUntil = -1;
constexpr int kUntilUnmuted = -2;
constexpr int kUnmute = 0;
struct MuteChoice {
  int hosts;
  int list;
  int minutes;
};
constexpr MuteChoice kChoices[] = {
    {ID_HOST_MUTE_15_MINUTES, ID_LIST_MUTE_15_MINUTES, 15},
    {ID_HOST_MUTE_1_HOUR, ID_LIST_MUTE_1_HOUR, 60},
    {ID_HOST_MUTE_4_HOURS, ID_LIST_MUTE_4_HOURS, 240},
    {ID_HOST_MUTE_UNTIL, ID_LIST_MUTE_UNTIL, kAskUntil},
    {ID_HOST_MUTE_UNTIL_UNMUTED, ID_LIST_MUTE_UNTIL_UNMUTED, kUntilUnmuted},
    {ID_HOST_UNMUTE, ID_LIST_UNMUTE, kUnmute},
};

const MuteChoice* ChoiceOf(int id) {
  const auto* found =
      std::find_if(std::begin(kChoices), std::end(kChoices),
                   [id](const MuteChoice& c) { return c.hosts == id || c.list == id; });
  return found == std::end(kChoices) ? nullptr : found;
}

// A date and a time of day, local, the next hour by default.
class MuteUntilDialog : public wxDialog {
 public:
  MuteUntilDialog(wxWindow* parent, const wxDateTime& start)
      : wxDialog(parent, wxID_ANY, "Mute until") {
    date_ = new wxDatePickerCtrl(this, wxID_ANY, start);
    time_ = new wxTimePickerCtrl(this, wxID_ANY, start);
    auto* pickers = new wxBoxSizer(wxHORIZONTAL);
    pickers->Add(date_, 0, wxRIGHT, FromDIP(8));
    pickers->Add(time_);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, "Hold alerts and popups until:"), 0, wxALL,
               FromDIP(10));
    sizer->Add(pickers, 0, wxLEFT | wxRIGHT, FromDIP(10));
    sizer->Add(CreateSeparatedButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, FromDIP(10));
    SetSizerAndFit(sizer);
    CentreOnParent();
  }
  wxDateTime Chosen() const {
    wxDateTime chosen = date_->GetValue();
    int hour = 0, minute = 0, second = 0;
    time_->GetTime(&hour, &minute, &second);
    chosen.SetHour(static_cast<wxDateTime::wxDateTime_t>(hour));
    chosen.SetMinute(static_cast<wxDateTime::wxDateTime_t>(minute));
    chosen.SetSecond(0);
    return chosen;
  }

 private:
  wxDatePickerCtrl* date_;
  wxTimePickerCtrl* time_;
};

// Asks until a time to come is chosen or the user cancels.
std::optional<CalendarTime> AskUntil(CalendarTime now, wxWindow* parent) {
  wxDateTime start(static_cast<time_t>(now + 3600));
  start.SetMinute(0).SetSecond(0);
  MuteUntilDialog dialog(parent, start);
  while (dialog.ShowModal() == wxID_OK) {
    const CalendarTime until = dialog.Chosen().GetTicks();
    if (until > now) return until;
    wxMessageBox("That time has passed: choose a time still to come.", "Mute until",
                 wxOK | wxICON_EXCLAMATION, &dialog);
  }
  return std::nullopt;
}

}  // namespace

wxMenu* MakeMuteMenu(MuteTarget target) {
  auto* menu = new wxMenu;
  for (const MuteChoice& choice : kChoices) {
    if (choice.minutes == kUnmute) menu->AppendSeparator();
    AppendCommands(*menu, {target == MuteTarget::Hosts ? choice.hosts : choice.list});
  }
  return menu;
}

std::optional<MuteTarget> MuteTargetOf(int id) {
  const MuteChoice* choice = ChoiceOf(id);
  if (!choice) return std::nullopt;
  return choice->hosts == id ? MuteTarget::Hosts : MuteTarget::List;
}

std::optional<CalendarTime> ChooseMuteEnd(int id, CalendarTime now, wxWindow* parent) {
  const MuteChoice* choice = ChoiceOf(id);
  if (!choice) return std::nullopt;
  switch (choice->minutes) {
    case kAskUntil:
      return AskUntil(now, parent);
    case kUntilUnmuted:
      return kMutedUntilUnmuted;
    case kUnmute:
      return 0;
    default:
      return now + CalendarTime{choice->minutes} * 60;
  }
}

}  // namespace kelvoran
