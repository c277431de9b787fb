#pragma once

class wxSizer;
class wxWindow;

namespace kelvoran {

// The row of OK (the default button), Cancel and Help at the right edge of a
// dialog, as the program's dialogs have always shown it.
wxSizer* OkCancelHelpButtons(wxWindow* dialog);

}  // namespace kelvoran
