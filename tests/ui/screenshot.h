#pragma once

#include <wx/toplevel.h>

namespace kelvoran::testing {

// Saves what the screen shows of the window, its frame included, as a PNG.
bool SaveScreenshot(wxTopLevelWindow& window, const wxString& path);

}  // namespace kelvoran::testing
