#pragma once

#include <wx/defs.h>

namespace kelvoran {

// The program's command numbers (32771 for Add and so on) are above the
// largest identifier wx accepts for a menu item (0x7FFF), so each command's
// window identifier is its number minus this offset. Help contexts are built
// from the command number.
inline constexpr int kCommandIdOffset = 30000;
constexpr int CommandNumber(int windowId) { return windowId + kCommandIdOffset; }

// Window identifiers of the commands shared by the menu, the keys, the
// toolbar and the context menu.
enum CommandId : int {
  ID_HOST_ADD = 32771 - kCommandIdOffset,
  ID_HOST_DELETE = 32772 - kCommandIdOffset,
  ID_HOST_EDIT = 32774 - kCommandIdOffset,
  ID_HELP_WEBSITE = 32777 - kCommandIdOffset,
  ID_HELP_EMAIL = 32778 - kCommandIdOffset,
  ID_HOST_RESET = 32779 - kCommandIdOffset,
  ID_VIEW_OPTIONS = 32780 - kCommandIdOffset,
  ID_HOST_IMPORT = 32790 - kCommandIdOffset,
  ID_HOST_EXPORT = 32791 - kCommandIdOffset,
  ID_VIEW_MINIMISE_TO_TRAY = 32800 - kCommandIdOffset,
  ID_VIEW_COLUMNS = 32801 - kCommandIdOffset,
  ID_HOST_HISTORY = 32802 - kCommandIdOffset,
  ID_VIEW_OUTAGES = 32803 - kCommandIdOffset,
  ID_HOST_UNDO_IMPORT = 32804 - kCommandIdOffset,
  ID_VIEW_ALERT_CHANNELS = 32805 - kCommandIdOffset,
  ID_VIEW_ALERT_LOG = 32806 - kCommandIdOffset,
  ID_HOST_DELETE_WITH_HISTORY = 32807 - kCommandIdOffset,
  // Host > Mute and the context menu's, for the selected hosts.
  ID_HOST_MUTE_15_MINUTES = 32808 - kCommandIdOffset,
  ID_HOST_MUTE_1_HOUR = 32809 - kCommandIdOffset,
  ID_HOST_MUTE_4_HOURS = 32810 - kCommandIdOffset,
  ID_HOST_MUTE_UNTIL = 32811 - kCommandIdOffset,
  ID_HOST_MUTE_UNTIL_UNMUTED = 32812 - kCommandIdOffset,
  ID_HOST_UNMUTE = 32813 - kCommandIdOffset,
  // Host > Mute all and the tray's, for the whole list.
  ID_LIST_MUTE_15_MINUTES = 32814 - kCommandIdOffset,
  ID_LIST_MUTE_1_HOUR = 32815 - kCommandIdOffset,
  ID_LIST_MUTE_4_HOURS = 32816 - kCommandIdOffset,
  ID_LIST_MUTE_UNTIL = 32817 - kCommandIdOffset,
  ID_LIST_MUTE_UNTIL_UNMUTED = 32818 - kCommandIdOffset,
  ID_LIST_UNMUTE = 32819 - kCommandIdOffset,
  // The Host menu's Mute and Mute all submenus themselves, for their help.
  ID_HOST_MUTE = 32820 - kCommandIdOffset,
  ID_LIST_MUTE = 32821 - kCommandIdOffset,
  // Host > Trace route and the context menu's: the selected host's path.
  ID_HOST_TRACE_ROUTE = 32822 - kCommandIdOffset,
  ID_APP_ABOUT = 57664 - kCommandIdOffset,
  ID_APP_EXIT = 57665 - kCommandIdOffset,
  ID_HELP_CONTENTS = 57670 - kCommandIdOffset,
  ID_VIEW_TOOLBAR = 59392 - kCommandIdOffset,
  ID_VIEW_STATUS_BAR = 59393 - kCommandIdOffset,
};

// Help context numbers: a window's resource number on top of 0x20000, and a
// highlighted menu command's identifier on top of 0x10000.
inline constexpr int kMainWindowHelpContext = 0x20000 + 128;
inline constexpr int kMenuHelpBase = 0x10000;
constexpr int MenuHelpContext(int windowId) { return kMenuHelpBase + CommandNumber(windowId); }

inline constexpr const char* kAppTitle = "Kelvoran by Brindlecot";
// The maker's web address, shown after the document title in the caption.
inline constexpr const char* kAppWindowTitle = "brindlecot.example";

}  // namespace kelvoran
