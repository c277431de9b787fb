#pragma once

#include <functional>

class wxWindow;

namespace kelvoran {

// Help context numbers: a dialog's F1 asks for the page of its number.
inline constexpr int kAboutBoxHelpContext = 131172;
inline constexpr int kHistoryWindowHelpContext = 0x20000 + 132;
inline constexpr int kOutagesWindowHelpContext = 0x20000 + 133;
inline constexpr int kColumnsDialogHelpContext = 0x20000 + 134;
inline constexpr int kAlertChannelsHelpContext = 0x20000 + 135;
inline constexpr int kAlertLogHelpContext = 0x20000 + 136;
inline constexpr int kRouteWindowHelpContext = 0x20000 + 137;

// Shows the help page of a context number. The application installs the real
// one; until then a request does nothing, as when no help file is there.
using HelpRequester = std::function<void(int context)>;

void SetHelpRequester(HelpRequester requester);

void RequestHelp(int context);

// F1 pressed anywhere in the window, without modifiers, asks for the page of
// `context`.
void AnswerHelpKey(wxWindow& window, int context);

}  // namespace kelvoran
