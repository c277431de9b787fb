#include "ui/parts/window_group.h"

namespace kelvoran {

// A modal dialog on Windows disables the windows that exist when it starts
// (wxWindowDisabler); a window made later keeps its input and takes none of
// the dialog's.
void KeepOutOfModalGrabs(wxTopLevelWindow& /*window*/) {}

}  // namespace kelvoran
