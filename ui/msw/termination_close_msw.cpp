#include <wx/app.h>
#include <wx/dialog.h>

#include <cstdlib>

#include "ui/main_window/termination_close.h"

namespace kelvoran {

TerminationClose::~TerminationClose() = default;

// The end of the session is the only close from outside here, and it ends
// the process right after CloseNow whatever boxes are open: nothing waits for
// them to return.
void TerminationClose::EndNativeBox(wxDialog& /*box*/) {}

void TerminationClose::Install() {
  Register();
  // The session may end as far as the program is concerned. wx's own answer
  // would close the window at once, under a modal dialog still running.
  wxTheApp->Bind(wxEVT_QUERY_END_SESSION, [](wxCloseEvent&) {});
  // Windows ends the process when WM_ENDSESSION has been answered, so the
  // close cannot wait for the modal loops to return: it runs now, and the
  // process ends here, before those loops could go on with a window that is
  // gone. wx's own handler would delete every window, the dialogs on the
  // stack included.
  wxTheApp->Bind(wxEVT_END_SESSION, [this](wxCloseEvent&) {
    CloseNow();
    std::_Exit(EXIT_SUCCESS);
  });
}

}  // namespace kelvoran
