#pragma once

// Included by every test that drives real windows. An unexpected modal dialog
// fails the test instead of opening on the display and waiting for a click.

#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <functional>
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

// Answers a modal dialog of the given class with a function of the test's,
// which may look at it, fill it in, and returns the dialog's result.
template <class Dialog>
class ExpectDialog : public wxExpectModalBase<Dialog, ExpectDialog<Dialog>> {
 public:
  explicit ExpectDialog(std::function<int(Dialog&)> act) : act_(std::move(act)) {}

 protected:
  int OnInvoked(Dialog* dialog) const override { return act_(*dialog); }

 private:
  std::function<int(Dialog&)> act_;
};

}  // namespace kelvoran::testing

#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS kelvoran::testing::ThrowingModalHook
