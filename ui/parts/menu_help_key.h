#pragma once

#include <functional>

class wxMenu;
class wxMenuBar;
class wxWindow;

namespace kelvoran {

// Calls `onHelp` with the command identifier of the highlighted item when F1
// is pressed while a menu of the bar is open: an open menu takes the keys, so
// the window's own key handler never sees them. On GTK the menu is closed
// first, so that the help window gets the input. Windows tells the window
// that holds the bar: call this once the bar is in its frame.
void WatchMenuHelpKey(wxMenuBar& bar, std::function<void(int commandId)> onHelp);
// The same for a pop-up menu that `owner` shows; `owner` must outlive it.
void WatchMenuHelpKey(wxWindow& owner, wxMenu& menu, std::function<void(int commandId)> onHelp);

}  // namespace kelvoran
