#pragma once

// Included by every test that drives real windows. An unexpected modal dialog
// fails the test instead of opening on the display and waiting for a click.

#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <stdexcept>
#include <string>

namespace kelvoran::testing {

class ThrowingModalHook : public wxTestingModalHook {
 public:
  using wxTestingModalHook::wxTestingModalHook;
  void ReportFailure(const wxString& message) override {
    throw std::runtime_error(message.ToStdString());
  }
};

}  // namespace kelvoran::testing

#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS kelvoran::testing::ThrowingModalHook
