#pragma once

#include <wx/modalhook.h>
#include <wx/timer.h>

#include <vector>

class wxDialog;

namespace kelvoran {

// Closes the main window, as Exit does, when the program receives SIGTERM
// (logout, shutdown, `kill`): the placement is saved and probes in flight are
// waited for instead of the process dying mid-write. wx's handler only writes
// to a wake-up pipe; the close itself runs later on the user-interface thread.
class TerminationClose : public wxModalDialogHook {
 public:
  TerminationClose();
  ~TerminationClose() override;

  // Installs the SIGTERM handler. One instance per program.
  void Install();
  // Ends open modal dialogs, then closes the top window.
  void Close();

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog* dialog) override;

 private:
  // Dialogs shown modally, innermost last. Their loops run on the stack of
  // the main loop (the About box is even a local object there), so the
  // window can only go once every one of them has returned.
  std::vector<wxDialog*> modal_;
  wxTimer retry_;
};

}  // namespace kelvoran
