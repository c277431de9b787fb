#include "ui/main_window/tessarel_view.h"

namespace kelvoran {

// The system's list view draws its rows itself, in the control's own window.
wxWindow& CTessarelView::RowsWindow() { return *this; }

}  // namespace kelvoran
