#pragma once

#include <wx/frame.h>
#include <wx/taskbar.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/calendar_time.h"
#include "ui/parts/art.h"

namespace kelvoran {

class CTessarelView;
class HostRows;

// How many hosts stand in each status; other values are not counted.
struct StatusCounts {
  int ok = 0;
  int warning = 0;
  int error = 0;
  bool operator==(const StatusCounts&) const = default;
};
StatusCounts CountStatuses(HostRows& rows);

// The row image of the worst status counted; the empty image when there is
// no host at all.
StatusImage WorstStatus(const StatusCounts& counts);
// "12 OK, 1 WARNING, 2 ERROR"; "No hosts" for an empty list.
wxString CountsText(const StatusCounts& counts);

// A host now in ERROR and when its outage began (0: not known).
struct Outage {
  std::int32_t hostId = 0;
  std::string host;
  CalendarTime since = 0;
  bool operator==(const Outage&) const = default;
};
// The hosts now in ERROR, the longest down first, at most `limit` of them;
// `more` is set to how many were left out.
std::vector<Outage> CurrentOutages(HostRows& rows, std::size_t limit, std::size_t& more);
// "gateway, down since 2025-05-20 14:03:12" in local time; a host name wider
// than `hostWidth` pixels in the menu's font is shortened in the middle.
wxString OutageText(const Outage& outage, int hostWidth);

// The program's icon in the desktop's notification area: the worst status of
// the hosts as its picture, their counts as its tooltip; a click brings the
// main window back, its menu lists the hosts in ERROR. Where the desktop has
// no notification area the icon simply never shows.
class TrayStatus : public wxTaskBarIcon {
 public:
  // Outage lines in the menu before the rest is only counted.
  static constexpr std::size_t kOutageLines = 20;
  // The widest a host name stands in an outage line, in DIPs.
  static constexpr int kOutageHostWidth = 300;

  // showWindow brings the frame back from the tray; Quit closes the frame.
  TrayStatus(wxFrame& frame, std::function<void()> showWindow, CTessarelView& view);

  // Takes the picture and tooltip from the hosts' statuses now.
  void Update();
  // A line the tooltip adds below the counts while alert channels fail
  // ("Alert channels failing: Mail"); empty for none.
  void SetAlertTrouble(const wxString& line);
  // Whether a notification area holds the icon now, so that a window hidden
  // there can be brought back.
  bool InNotificationArea() const;
  // Takes the icon out of the notification area and deletes this once the
  // events under way are handled.
  void Remove();

  StatusImage Picture() const { return picture_; }
  const wxString& Tooltip() const { return tooltip_; }
  // The menu as a right click opens it; the caller owns it.
  wxMenu* CreatePopupMenu() override;

 private:
  void OnMenu(wxCommandEvent& event);
  // "All hosts muted until 14:30" while the whole list is muted.
  wxString ListMuteLine() const;

  wxFrame& frame_;
  std::function<void()> showWindow_;
  CTessarelView& view_;
  bool shown_ = false;
  StatusImage picture_ = StatusImage::Empty;
  wxString tooltip_;
  wxString alertTrouble_;
  // The hosts of the outage lines of the menu last opened, by line.
  std::vector<std::int32_t> outageHosts_;
};

}  // namespace kelvoran
