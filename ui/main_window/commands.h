#pragma once

#include <wx/defs.h>

#include <initializer_list>

class wxMenu;

namespace kelvoran {

// Each command of the main window defined once, for the menu bar, the list's
// context menu and the toolbar; F1 on a highlighted item finds its help page
// by the command's number (MenuHelpContext).
struct CommandText {
  int id;
  // The menu label with its mnemonic and key: "&Add...\tCtrl+N".
  const char* label;
  // The status-bar prompt, and the toolbar button's tooltip; "" for none.
  const char* prompt;
  wxItemKind kind = wxITEM_NORMAL;
};

// The command's texts; an unknown id is a programming error.
const CommandText& CommandTextOf(int id);

// Appends the commands in order, kMenuSeparator standing for a separator.
// The list's context menu leaves the prompts out, as its items need none.
inline constexpr int kMenuSeparator = 0;
enum class WithPrompts : bool { No, Yes };
void AppendCommands(wxMenu& menu, std::initializer_list<int> ids,
                    WithPrompts prompts = WithPrompts::Yes);

}  // namespace kelvoran
