#pragma once

#include <wx/toplevel.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

namespace kelvoran {

// Puts a top-level window into a GTK window group of its own. GTK confines a
// grab to the windows of one group, and the grab that a modal dialog holds
// (gtk_window_set_modal) would otherwise hand this window's clicks and keys
// to the dialog: the window could be neither used nor closed until the
// dialog ends.
inline void KeepOutOfModalGrabs(wxTopLevelWindow& window) {
#ifdef __WXGTK__
  GtkWindowGroup* group = gtk_window_group_new();
  gtk_window_group_add_window(group, GTK_WINDOW(window.GetHandle()));
  g_object_unref(group);  // the window holds the group from now on
#else
  (void)window;
#endif
}

}  // namespace kelvoran
