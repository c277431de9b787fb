#pragma once

#include <memory>

class wxConfigBase;

namespace kelvoran {

// The user's profile of the program, where the window placement ("MainWnd")
// and the options live, named after the application title under the maker's
// name. Defined by the toolkit port (ui/gtk, ui/msw).
std::unique_ptr<wxConfigBase> OpenUserProfile();

}  // namespace kelvoran
