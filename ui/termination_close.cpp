#include "ui/termination_close.h"

#include <wx/app.h>
#include <wx/dialog.h>

#include <algorithm>

namespace kelvoran {
namespace {

// A native message box cannot be ended from here: the close waits, checking
// this often, until the operator answers it.
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
  // Native message boxes are not modal in wx's sense and cannot be ended.
  for (wxDialog* dialog : modal_)
    if (dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
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
