#include "ui/parts/menu_help_key.h"

#include <wx/cshelp.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include <utility>

namespace kelvoran {
namespace {

// Windows sends WM_HELP for F1 in an open menu to the window that owns the
// menu, naming the highlighted item (HELPINFO_MENUITEM); wxMSW turns it into
// wxEVT_HELP with the item's identifier. Help asked for a window instead
// carries a window's identifier, which no item has.
template <typename Menus>
void BindHelp(wxWindow& window, const Menus& menus, std::function<void(int commandId)> onHelp) {
  window.Bind(wxEVT_HELP, [&menus, onHelp = std::move(onHelp)](wxHelpEvent& event) {
    const wxMenuItem* item = menus.FindItem(event.GetId());
    if (item && !item->IsSeparator() && !item->IsSubMenu())
      onHelp(event.GetId());
    else
      event.Skip();
  });
}

}  // namespace

void WatchMenuHelpKey(wxMenuBar& bar, std::function<void(int commandId)> onHelp) {
  if (wxFrame* frame = bar.GetFrame()) BindHelp(*frame, bar, std::move(onHelp));
}

void WatchMenuHelpKey(wxWindow& owner, wxMenu& menu, std::function<void(int commandId)> onHelp) {
  BindHelp(owner, menu, std::move(onHelp));
}

}  // namespace kelvoran
