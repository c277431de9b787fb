#pragma once

#include <wx/modalhook.h>
#include <wx/timer.h>

#include <vector>

class wxDialog;

namespace kelvoran {

// Closes the main window, as Exit does, when the system ends the program:
// SIGTERM on Linux (logout, shutdown, `kill`), the end of the session on
// Windows (logoff, shutdown). The placement is saved and probes in flight are
// waited for instead of the process dying mid-write.
class TerminationClose : public wxModalDialogHook {
 public:
  TerminationClose();
  ~TerminationClose() override;

  // Starts listening to the system. One instance per program. Defined by the
  // toolkit port (ui/gtk, ui/msw).
  void Install();
  // Ends open modal dialogs, then closes the top window.
  void Close();
  // The same at once, for a process that ends as soon as this returns.
  void CloseNow();

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog* dialog) override;

 private:
  void EndModalDialogs();
  bool CloseTopWindow();
  // Ends a native message box, answering it as Cancel (a box without Cancel
  // as closed by its window's close button: neither Yes nor OK). Defined by
  // the toolkit port (ui/gtk, ui/msw).
  static void EndNativeBox(wxDialog& box);

  // Dialogs shown modally, innermost last. Their loops run on the stack of
  // the main loop (the About box is even a local object there), so the
  // window can only go once every one of them has returned.
  std::vector<wxDialog*> modal_;
  wxTimer retry_;
};

}  // namespace kelvoran
