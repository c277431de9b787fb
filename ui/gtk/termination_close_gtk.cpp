#include <gtk/gtk.h>
#include <signal.h>
#include <wx/app.h>
#include <wx/dialog.h>

#include "ui/main_window/termination_close.h"

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

// A message box runs gtk_dialog_run, which returns on any response; wx reads
// the close button's as Cancel.
void TerminationClose::EndNativeBox(wxDialog& box) {
  if (box.m_widget && GTK_IS_DIALOG(box.m_widget))
    gtk_dialog_response(GTK_DIALOG(box.m_widget), GTK_RESPONSE_DELETE_EVENT);
}

// wx's handler only writes to a wake-up pipe; the close itself runs later on
// the user-interface thread.
void TerminationClose::Install() {
  installed = this;
  Register();
  wxTheApp->SetSignalHandler(SIGTERM, OnTerminationSignal);
}

}  // namespace kelvoran
