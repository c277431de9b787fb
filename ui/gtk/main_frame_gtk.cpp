// The main window's placement and closing wait on wxGTK.
#include <gtk/gtk.h>

#include <vector>

#include "ui/main_window/main_frame.h"

namespace kelvoran {
namespace {

bool IsInput(GdkEventType type) {
  switch (type) {
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_SCROLL:
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_END:
      return true;
    default:
      return false;
  }
}

}  // namespace

// wx puts the input it held back while yielding into GDK's queue again: a
// click or key meant for the closing window would run its command (open a
// dialog, say) on a window being destroyed.
void CMainFrame::DropHeldBackInput() {
  std::vector<GdkEvent*> kept;
  while (GdkEvent* event = gdk_event_get()) {
    if (IsInput(event->type))
      gdk_event_free(event);
    else
      kept.push_back(event);
  }
  for (GdkEvent* event : kept) {
    gdk_event_put(event);
    gdk_event_free(event);
  }
}

wxRect CMainFrame::RectOnScreen() const {
  if (!gtk_widget_get_window(GetHandle())) return GetRect();
  // Asked of the X server: after a round trip through maximised wx can keep
  // the frame extents it saw while maximised (the window manager draws no
  // side borders then) and reckons the outer rectangle off by the difference.
  GdkRectangle frame{};
  gdk_window_get_frame_extents(gtk_widget_get_window(GetHandle()), &frame);
  return {frame.x, frame.y, frame.width, frame.height};
}

void CMainFrame::ShowForPlacement() {
  // Window managers place a new window by their own rules and honour a
  // position only once the window is mapped. So the stored rectangle is
  // applied when the window is mapped, and the stored show state once the X
  // server has the window at that rectangle: a window maximised earlier would
  // be restored to whatever size GTK first asked for.
  g_signal_connect(GetHandle(), "map-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer frame) {
                     static_cast<CMainFrame*>(frame)->CallAfter(&CMainFrame::OnMapped);
                     return FALSE;
                   }),
                   this);
  // wx would hold the first showing back until the window manager tells the
  // frame's extents, realising the window two pixels wide meanwhile: GTK warns
  // about the toolbar's and the scroll bars' negative sizes, and the frame
  // takes a wrong size from it. The rectangle is set again once mapped anyway.
  m_deferShow = false;
  Show();
  Update();
}

void CMainFrame::ShowFromTray() {
  inTray_ = false;
  // GDK still has the hidden window as iconified and would map it again
  // with an iconic initial state, so the window manager would keep it
  // minimised: deiconifying an unmapped window only clears that.
  gtk_window_deiconify(GTK_WINDOW(GetHandle()));
  Show();
  gtk_window_present(GTK_WINDOW(GetHandle()));
}

}  // namespace kelvoran
