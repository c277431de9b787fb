#include "tests/ui/screenshot.h"

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>

namespace kelvoran::testing {

bool SaveScreenshot(wxTopLevelWindow& window, const wxString& path) {
  // On GTK a top-level window's rectangle includes the window manager's frame.
  const wxRect area = window.GetScreenRect();
  wxBitmap shot(area.GetSize(), 24);
  {
    wxMemoryDC memory(shot);
    wxScreenDC screen;
    memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y);
  }
  wxInitAllImageHandlers();
  return shot.ConvertToImage().SaveFile(path, wxBITMAP_TYPE_PNG);
}

}  // namespace kelvoran::testing
