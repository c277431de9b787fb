#pragma once

#include <wx/defs.h>

namespace kelvoran {

// Command identifiers shared by the menu, the keys, the toolbar and the
// context menu.
enum CommandId : int {
  ID_HOST_ADD = 32771,
  ID_HOST_DELETE = 32772,
  ID_HOST_EDIT = 32774,
  ID_HELP_WEBSITE = 32777,
  ID_HELP_EMAIL = 32778,
  ID_HOST_RESET = 32779,
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_HELP_CONTENTS = 57670,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
};

// Help context numbers: a window's resource number on top of 0x20000, and a
// highlighted menu command's identifier on top of 0x10000.
inline constexpr int kMainWindowHelpContext = 0x20000 + 128;
inline constexpr int kMenuHelpBase = 0x10000;

inline constexpr const char* kAppTitle = "Kelvoran by Brindlecot";

}  // namespace kelvoran
