#include "ui/dialogs/dialog_buttons.h"

#include <wx/button.h>
#include <wx/sizer.h>

namespace kelvoran {

wxSizer* OkCancelHelpButtons(wxWindow* dialog) {
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->AddStretchSpacer();
  auto* ok = new wxButton(dialog, wxID_OK, "OK");
  ok->SetDefault();
  buttons->Add(ok);
  buttons->Add(new wxButton(dialog, wxID_CANCEL, "Cancel"), 0, wxLEFT, 6);
  buttons->Add(new wxButton(dialog, wxID_HELP, "Help"), 0, wxLEFT, 6);
  return buttons;
}

}  // namespace kelvoran
