#pragma once

// Included by every test that drives real windows. An unexpected modal dialog
// fails the test instead of opening on the display and waiting for a click.
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

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

// Processes pending events for about the given time.
inline void PumpEvents(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  do {
    wxTheApp->Yield(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
}

// Window managers and timers answer asynchronously: pumps events until the
// condition holds or the time is up; returns the condition.
inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(3)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    PumpEvents(std::chrono::milliseconds(20));
  }
  return true;
}

// Clicks with the real pointer, through X and GTK, at a point of the window
// (by default near its top left corner).
void ClickWithPointer(wxWindow& window, wxPoint at = wxPoint(5, 5));

// Sends a key to the window as GTK delivers it, before any control sees it.
void PressKey(wxWindow& window, int key);

// Runs the dialog modally for real. `whileShown` runs once the modal loop is
// going; a watchdog ends the dialog with kWatchdogResult if nothing else does,
// so a broken dialog fails the test instead of hanging it.
inline constexpr int kWatchdogResult = -4242;
int RunModal(wxDialog& dialog, const std::function<void()>& whileShown,
             std::chrono::milliseconds watchdog = std::chrono::seconds(5));

// The same for a dialog that `open` shows modally, a command for instance.
void RunModalFrom(const std::function<void()>& open, wxDialog& dialog,
                  const std::function<void()>& whileShown,
                  std::chrono::milliseconds watchdog = std::chrono::seconds(5));

// A file's bytes; empty when it cannot be read.
inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace kelvoran::testing

#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS kelvoran::testing::ThrowingModalHook
