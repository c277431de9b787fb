#pragma once

#include <wx/dialog.h>

#include <chrono>
#include <functional>

namespace kelvoran::testing {

// Processes pending events for about the given time.
void PumpEvents(std::chrono::milliseconds duration);

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

}  // namespace kelvoran::testing
