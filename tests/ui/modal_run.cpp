#include "tests/ui/modal_run.h"

#include <wx/app.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <thread>

namespace kelvoran::testing {

void ClickWithPointer(wxWindow& window, wxPoint at) {
  wxUIActionSimulator pointer;
  pointer.MouseMove(window.GetScreenPosition() + at);
  PumpEvents(std::chrono::milliseconds(50));
  pointer.MouseClick();
  PumpEvents(std::chrono::milliseconds(300));
}

void PressKey(wxWindow& window, int key) {
  wxKeyEvent event(wxEVT_CHAR_HOOK);
  event.m_keyCode = key;
  event.SetEventObject(&window);
  window.GetEventHandler()->ProcessEvent(event);
}

void RunModalFrom(const std::function<void()>& open, wxDialog& dialog,
                  const std::function<void()>& whileShown, std::chrono::milliseconds watchdog) {
  // A short one-shot timer rather than CallAfter: it fires from inside the
  // modal loop, after the dialog has been mapped.
  wxTimer start;
  start.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { whileShown(); });
  start.StartOnce(50);
  wxTimer guard;
  guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    if (dialog.IsModal()) dialog.EndModal(kWatchdogResult);
  });
  guard.StartOnce(static_cast<int>(watchdog.count()));
  open();
}

int RunModal(wxDialog& dialog, const std::function<void()>& whileShown,
             std::chrono::milliseconds watchdog) {
  int result = 0;
  RunModalFrom([&] { result = dialog.ShowModal(); }, dialog, whileShown, watchdog);
  return result;
}

}  // namespace kelvoran::testing
