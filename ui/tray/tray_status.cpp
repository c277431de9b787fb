#include "ui/tray/tray_status.h"

#include <wx/control.h>
#include <wx/datetime.h>
#include <wx/dcscreen.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/settings.h>

#include <algorithm>
#include <limits>
#include <string>

#include "engine/host_mute.h"
#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/scheduler.h"
#include "platform/local_time.h"
#include "ui/main_window/display_text.h"
#include "ui/main_window/mute_menu.h"
#include "ui/main_window/tessarel_view.h"

namespace kelvoran {
namespace {

enum MenuId : int { IdShowWindow = wxID_HIGHEST + 1, IdExit, IdFirstOutage };

}  // namespace

StatusCounts CountStatuses(HostRows& rows) {
  StatusCounts counts;
  for (int row = 0; row < rows.RowCount(); ++row) {
    switch (rows.RecordAt(row).Status) {
      case StatusOk:
        ++counts.ok;
        break;
      case StatusWarning:
        ++counts.warning;
        break;
      case StatusError:
        ++counts.error;
        break;
      default:
        break;
    }
  }
  return counts;
}

StatusImage WorstStatus(const StatusCounts& counts) {
  if (counts.error > 0) return StatusImage::Error;
  if (counts.warning > 0) return StatusImage::Warning;
  if (counts.ok > 0) return StatusImage::Ok;
  return StatusImage::Empty;
}

wxString CountsText(const StatusCounts& counts) {
  if (counts == StatusCounts{}) return "No hosts";
  return wxString::Format("%d OK, %d WARNING, %d ERROR", counts.ok, counts.warning, counts.error);
}

std::vector<Outage> CurrentOutages(HostRows& rows, std::size_t limit, std::size_t& more) {
  std::vector<Outage> outages;
  for (int row = 0; row < rows.RowCount(); ++row) {
    const HostRecord& host = rows.RecordAt(row);
    if (host.Status == StatusError)
      outages.push_back({host.HostId, host.Host, host.OutageStart.value_or(0)});
  }
  // An outage whose start is not known sorts after those whose start is.
  const auto start = [](const Outage& outage) {
    return outage.since == 0 ? std::numeric_limits<CalendarTime>::max() : outage.since;
  };
  std::stable_sort(outages.begin(), outages.end(),
                   [&](const Outage& a, const Outage& b) { return start(a) < start(b); });
  more = outages.size() > limit ? outages.size() - limit : 0;
  outages.resize(outages.size() - more);
  return outages;
}

wxString OutageText(const Outage& outage, int hostWidth) {
  // A menu is as wide as its longest line: a long host name made it as wide
  // as the screen, the time it went down off its edge.
  wxScreenDC dc;
  dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
  const wxString host =
      wxControl::Ellipsize(ToDisplay(outage.host), dc, wxELLIPSIZE_MIDDLE, hostWidth);
  if (outage.since == 0) return host;
  const wxDateTime since(static_cast<time_t>(outage.since));
  return host + ", down since " + since.Format("%Y-%m-%d %H:%M:%S");
}

TrayStatus::TrayStatus(wxFrame& frame, std::function<void()> showWindow, CTessarelView& view)
    : frame_(frame), showWindow_(std::move(showWindow)), view_(view) {
  Bind(wxEVT_TASKBAR_LEFT_DOWN, [this](wxTaskBarIconEvent&) { showWindow_(); });
  Bind(wxEVT_MENU, &TrayStatus::OnMenu, this);
}

void TrayStatus::Update() {
  const StatusCounts counts = CountStatuses(view_);
  const StatusImage picture = WorstStatus(counts);
  wxString tooltip = CountsText(counts);
  if (const wxString muted = ListMuteLine(); !muted.empty()) tooltip += "\n" + muted;
  if (!alertTrouble_.empty()) tooltip += "\n" + alertTrouble_;
  if (shown_ && picture == picture_ && tooltip == tooltip_) return;
  picture_ = picture;
  tooltip_ = tooltip;
  // Without a notification area the icon waits unseen for one to appear; a
  // failure to add it is nothing to tell the operator about.
  wxLogNull quiet;
  shown_ =
      SetIcon(picture == StatusImage::Empty ? AppIconBundle() : StatusBitmap(picture), tooltip);
}

wxString TrayStatus::ListMuteLine() const {
  const HostMutes* mutes = view_.Mutes();
  const CalendarTime until = mutes ? mutes->ListMutedUntil() : 0;
  if (until == 0) return {};
  return "All hosts muted " + MuteEndText(until, SystemClock(), LocalUtcOffset(until));
}

void TrayStatus::SetAlertTrouble(const wxString& line) {
  if (line == alertTrouble_) return;
  alertTrouble_ = line;
  Update();
}

bool TrayStatus::InNotificationArea() const { return IsIconInstalled() && IsAvailable(); }

void TrayStatus::Remove() {
  RemoveIcon();
  Destroy();
}

wxMenu* TrayStatus::CreatePopupMenu() {
  auto* menu = new wxMenu;
  menu->Append(IdShowWindow, "&Show Main Window");
  menu->AppendSeparator();
  std::size_t more = 0;
  const std::vector<Outage> outages = CurrentOutages(view_, kOutageLines, more);
  outageHosts_.clear();
  for (const Outage& outage : outages) {
    menu->Append(IdFirstOutage + static_cast<int>(outageHosts_.size()),
                 wxControl::EscapeMnemonics(OutageText(outage, frame_.FromDIP(kOutageHostWidth))));
    outageHosts_.push_back(outage.hostId);
  }
  if (outages.empty()) menu->Append(wxID_ANY, "No host is in ERROR")->Enable(false);
  if (more > 0) menu->Append(wxID_ANY, std::to_string(more) + " more in ERROR")->Enable(false);
  menu->AppendSeparator();
  menu->AppendSubMenu(MakeMuteMenu(MuteTarget::List), "&Mute all");
  menu->AppendSeparator();
  menu->Append(IdExit, "E&xit");
  return menu;
}

void TrayStatus::OnMenu(wxCommandEvent& event) {
  const int id = event.GetId();
  if (id == IdExit) {
    // The menu is still open on this icon's window, which closing removes.
    frame_.CallAfter([frame = &frame_] { frame->Close(); });
    return;
  }
  if (MuteTargetOf(id)) {
    view_.OnMute(event);
    Update();
    return;
  }
  showWindow_();
  const auto line = static_cast<std::size_t>(id - IdFirstOutage);
  if (id >= IdFirstOutage && line < outageHosts_.size()) view_.SelectHost(outageHosts_[line]);
}

}  // namespace kelvoran
