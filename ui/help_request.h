#pragma once

#include <functional>

namespace kelvoran {

// Help context numbers: a dialog's F1 asks for the page of its number.
inline constexpr int kAboutBoxHelpContext = 131172;

// Shows the help page of a context number. The application installs the real
// one; until then a request does nothing, as when no help file is there.
using HelpRequester = std::function<void(int context)>;

void SetHelpRequester(HelpRequester requester);

void RequestHelp(int context);

}  // namespace kelvoran
