#pragma once

#include <string_view>

namespace kelvoran {

// Equal byte for byte once ASCII letters are folded to one case, as computer
// and window station names are compared. Bytes above 0x7F compare as they
// are, whatever the locale.
bool EqualIgnoringCase(std::string_view left, std::string_view right);

}  // namespace kelvoran
