#include "ui/termination_close.h"

#include <signal.h>
#include <wx/app.h>
#include <wx/dialog.h>

#include <algorithm>

namespace kelvoran {
namespace {

// A native message box cannot be ended from here: the close waits, checking
// this often, until the operator answers it.
constexpr int kRetryMs = 100;

TerminationClose* installed = nullptr;

void OnTerminationSignal(int /*signal*/) {
  if (installed) installed->Close();
}

}  // namespace

TerminationClose::TerminationClose() {
  retry_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Close(); });
}

TerminationClose::~TerminationClose() {
  if (installed == this) installed = nullptr;
}

void TerminationClose::Install() {
  installed = this;
  Register();
  wxTheApp->SetSignalHandler(SIGTERM, OnTerminationSignal);
}

int TerminationClose::Enter(wxDialog* dialog) {
  modal_.push_back(dialog);
  return wxID_NONE;
}

void TerminationClose::Exit(wxDialog* dialog) {
  modal_.erase(std::remove(modal_.begin(), modal_.end(), dialog), modal_.end());
}

void TerminationClose::Close() {
  if (!modal_.empty()) {
    // Native message boxes are not modal in wx's sense and cannot be ended.
    for (wxDialog* dialog : modal_)
      if (dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
    retry_.StartOnce(kRetryMs);
    return;
  }
  wxWindow* top = wxTheApp->GetTopWindow();
  if (!top || top->IsBeingDeleted() || wxTheApp->IsScheduledForDestruction(top)) return;
  top->Close(true);
  // The closed window is deleted in idle time, and the last window is not
  // hidden first; with no input arriving (nobody at the screen) idle time
  // would never come and the program would wait for the next mouse move.
  wxWakeUpIdle();
}

}  // namespace kelvoran
