// The main window's placement and closing wait on wxMSW.
#include <wx/msw/wrapwin.h>

#include "ui/main_window/main_frame.h"

namespace kelvoran {

// wxMSW posts the input it held back while yielding to the queue again: a
// click or key meant for the closing window would run its command (open a
// dialog, say) on a window being destroyed.
void CMainFrame::DropHeldBackInput() {
  MSG message;
  while (::PeekMessage(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (::PeekMessage(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
}

// GetWindowRect: the outer rectangle in screen coordinates, as the system
// itself places the window.
wxRect CMainFrame::RectOnScreen() const { return GetRect(); }

void CMainFrame::ShowForPlacement() {
  Show();
  Update();
  // The system shows a window where it was put; the stored show state
  // follows once the window stands at its rectangle.
  CallAfter(&CMainFrame::OnMapped);
}

void CMainFrame::ShowFromTray() {
  inTray_ = false;
  // A window hidden while minimised shows minimised again.
  Show();
  if (IsIconized()) Restore();
  Raise();
}

}  // namespace kelvoran
