#pragma once

class wxTopLevelWindow;

namespace kelvoran {

// Lets a top-level window (the help window, a popup's box) take input while a
// modal dialog runs, without taking the dialog's input. Defined by the toolkit
// port (ui/gtk, ui/msw).
void KeepOutOfModalGrabs(wxTopLevelWindow& window);

}  // namespace kelvoran
