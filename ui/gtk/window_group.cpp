#include "ui/parts/window_group.h"

#include <gtk/gtk.h>
#include <wx/toplevel.h>

namespace kelvoran {

// GTK confines a grab to the windows of one window group, and the grab that a
// modal dialog holds (gtk_window_set_modal) would otherwise hand this window's
// clicks and keys to the dialog: the window could be neither used nor closed
// until the dialog ends. So the window gets a group of its own.
void KeepOutOfModalGrabs(wxTopLevelWindow& window) {
  GtkWindowGroup* group = gtk_window_group_new();
  gtk_window_group_add_window(group, GTK_WINDOW(window.GetHandle()));
  g_object_unref(group);  // the window holds the group from now on
}

}  // namespace kelvoran
