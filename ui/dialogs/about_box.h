#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>

#include <chrono>
#include <cstdint>

#include "ui/parts/link_label.h"

namespace kelvoran {

// Window ids of the About box's labels.
inline constexpr wxWindowID kVersionLabelId = 1033;
inline constexpr wxWindowID kMakerLabelId = 1026;
inline constexpr wxWindowID kWebsiteRowLabelId = 1028;
inline constexpr wxWindowID kMailRowLabelId = 1029;

// The box shown at start-up closes by itself after this long, so a program
// started at login does not wait for a click.
inline constexpr std::chrono::milliseconds kStartupAboutCloseDelay{10'000};

// Names the program and its version, thanks the user, presents the maker and
// offers links to the maker's website and mailbox. Clicking a link opens it
// through OpenLink and leaves the box open; F1 asks for the box's help page.
class CAboutBox : public wxDialog {
 public:
  // startupFlag: 1 for the box shown at start-up, which ends itself with
  // result 0 after closeDelay; 0 for the box from the menu or toolbar, which
  // stays until the operator closes it.
  CAboutBox(wxWindow* owner, std::uint8_t startupFlag,
            std::chrono::milliseconds closeDelay = kStartupAboutCloseDelay);

  std::uint8_t StartupFlag() const { return m_startupFlag; }

 private:
  void BuildLayout();
  void StyleLabels();
  void OnShow(wxShowEvent& event);
  void OnCloseTimer(wxTimerEvent& event);
  void OnLink(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);

  std::uint8_t m_startupFlag;
  std::chrono::milliseconds m_closeDelay;
  wxTimer m_closeTimer;
};

// Shows a new About box modally over the owner and destroys it afterwards.
void ShowAboutBox(wxWindow* owner, std::uint8_t startupFlag);

}  // namespace kelvoran
