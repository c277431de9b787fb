#include "ui/parts/menu_help_key.h"

#include <gtk/gtk.h>
#include <wx/frame.h>
#include <wx/menu.h>

namespace kelvoran {
namespace {

struct MenuWatch {
  std::function<wxWindow*()> owner;  // the window that asks for the help
  wxMenu* menu;
  std::function<void(int)> onHelp;
};

const wxMenuItem* ItemOfWidget(const wxMenu& menu, const GtkWidget* widget) {
  for (const wxMenuItem* item : menu.GetMenuItems()) {
    if (item->GetMenuItem() == widget) return item;
  }
  return nullptr;
}

// Closes the whole chain of open menus: from a submenu up through the items
// they hang from to the menu bar.
void CloseMenus(GtkWidget* menu) {
  GtkWidget* top = menu;
  while (GTK_IS_MENU(top)) {
    GtkWidget* item = gtk_menu_get_attach_widget(GTK_MENU(top));
    GtkWidget* parent = item ? gtk_widget_get_parent(item) : nullptr;
    if (!parent || !GTK_IS_MENU_SHELL(parent)) break;
    top = parent;
  }
  gtk_menu_shell_cancel(GTK_MENU_SHELL(top));
}

gboolean OnMenuKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data) {
  const guint modifiers = event->state & static_cast<guint>(gtk_accelerator_get_default_mod_mask());
  if (event->keyval != GDK_KEY_F1 || modifiers != 0) return FALSE;
  const auto* watch = static_cast<const MenuWatch*>(data);
  const wxMenuItem* item =
      ItemOfWidget(*watch->menu, gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(widget)));
  if (!item || item->IsSeparator() || item->IsSubMenu()) return FALSE;
  CloseMenus(widget);
  // After the menu has let go of the pointer and keyboard, and only while
  // the window is still there.
  wxWindow* owner = watch->owner();
  if (owner) owner->CallAfter([onHelp = watch->onHelp, id = item->GetId()] { onHelp(id); });
  return TRUE;
}

void Watch(const std::function<wxWindow*()>& owner, wxMenu& menu,
           const std::function<void(int)>& onHelp) {
  g_signal_connect_data(
      menu.m_menu, "key-press-event", G_CALLBACK(OnMenuKeyPress),
      new MenuWatch{owner, &menu, onHelp},
      [](gpointer data, GClosure*) { delete static_cast<MenuWatch*>(data); }, GConnectFlags{});
  for (wxMenuItem* item : menu.GetMenuItems()) {
    if (item->IsSubMenu()) Watch(owner, *item->GetSubMenu(), onHelp);
  }
}

}  // namespace

void WatchMenuHelpKey(wxMenuBar& bar, std::function<void(int commandId)> onHelp) {
  // The bar may not be in its frame yet; the frame is looked up when F1 comes.
  const auto frame = [&bar]() -> wxWindow* { return bar.GetFrame(); };
  for (size_t index = 0; index < bar.GetMenuCount(); ++index) {
    Watch(frame, *bar.GetMenu(index), onHelp);
  }
}

void WatchMenuHelpKey(wxWindow& owner, wxMenu& menu, std::function<void(int commandId)> onHelp) {
  Watch([&owner]() -> wxWindow* { return &owner; }, menu, onHelp);
}

}  // namespace kelvoran
