#pragma once

// Modal dialogs in wxTEST_DIALOG blocks report unexpected or missing dialogs
// by throwing, so a stray dialog fails the test instead of blocking it.
#include <wx/dialog.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

// wx/testing.h picks the hook class through this macro; the class is declared
// below, before any wxTEST_DIALOG expands.
#define wxTEST_DIALOG_HOOK_CLASS kelvoran::test::ThrowingModalHook
#include <wx/testing.h>

namespace kelvoran::test {

class ThrowingModalHook : public wxTestingModalHook {
 public:
  using wxTestingModalHook::wxTestingModalHook;

 protected:
  void ReportFailure(const wxString& message) override {
    throw std::runtime_error(message.utf8_string());
  }
};

// Processes pending events for about the given time.
void PumpEvents(std::chrono::milliseconds duration);

// Runs the dialog modally for real. `whileShown` runs once the modal loop is
// going; a watchdog ends the dialog with kWatchdogResult if nothing else does,
// so a broken dialog fails the test instead of hanging it.
inline constexpr int kWatchdogResult = -4242;
int RunModal(wxDialog& dialog, const std::function<void()>& whileShown,
             std::chrono::milliseconds watchdog = std::chrono::seconds(5));

}  // namespace kelvoran::test
