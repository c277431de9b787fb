#include "ui/main_window/tessarel_view.h"

namespace kelvoran {

// wxGTK's list control is wx's own: the rows are drawn by a child window of
// the control, and mouse events do not travel up from it.
wxWindow& CTessarelView::RowsWindow() {
  for (wxWindow* child : GetChildren())
    if (static_cast<void*>(child) == static_cast<void*>(m_mainWin)) return *child;
  return *this;
}

}  // namespace kelvoran
