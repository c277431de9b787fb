#include "ui/main_window/termination_close.h"

#include <wx/app.h>
#include <wx/dialog.h>

#include <algorithm>

namespace kelvoran {
namespace {

// The dialogs' loops return on the stack of the main loop once they are
// ended: the close checks this often until every one has.
constexpr int kRetryMs = 100;

}  // namespace

TerminationClose::TerminationClose() {
  retry_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Close(); });
}

int TerminationClose::Enter(wxDialog* dialog) {
  modal_.push_back(dialog);
  return wxID_NONE;
}

void TerminationClose::Exit(wxDialog* dialog) {
  modal_.erase(std::remove(modal_.begin(), modal_.end(), dialog), modal_.end());
}

void TerminationClose::EndModalDialogs() {
  // Native message boxes run a loop of the system's, not wx's: they are
  // not modal in wx's sense and are ended the toolkit's way.
  for (wxDialog* dialog : modal_) {
    if (dialog->IsModal())
      dialog->EndModal(wxID_CANCEL);
    else
      EndNativeBox(*dialog);
  }
}

bool TerminationClose::CloseTopWindow() {
  wxWindow* top = wxTheApp->GetTopWindow();
  if (!top || top->IsBeingDeleted() || wxTheApp->IsScheduledForDestruction(top)) return false;
  return top->Close(true);
}

void TerminationClose::Close() {
  if (!modal_.empty()) {
    EndModalDialogs();
    retry_.StartOnce(kRetryMs);
    return;
  }
  CloseTopWindow();
  // The closed window is deleted in idle time, and the last window is not
  // hidden first; with no input arriving (nobody at the screen) idle time
  // would never come and the program would wait for the next mouse move.
  wxWakeUpIdle();
}

void TerminationClose::CloseNow() {
  // The dialogs' loops end only once this returns; the window closes anyway.
  EndModalDialogs();
  CloseTopWindow();
}

}  // namespace kelvoran
