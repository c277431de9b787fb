#include <signal.h>
#include <wx/app.h>

#include "ui/termination_close.h"

namespace kelvoran {
namespace {

TerminationClose* installed = nullptr;

void OnTerminationSignal(int /*signal*/) {
  if (installed) installed->Close();
}

}  // namespace

TerminationClose::~TerminationClose() {
  if (installed == this) installed = nullptr;
}

// wx's handler only writes to a wake-up pipe; the close itself runs later on
// the user-interface thread.
void TerminationClose::Install() {
  installed = this;
  Register();
  wxTheApp->SetSignalHandler(SIGTERM, OnTerminationSignal);
}

}  // namespace kelvoran
