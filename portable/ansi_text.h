#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// The monitor's 8-bit texts are UTF-8 on this platform, but a hand-edited
// settings file can hold any bytes. Both conversions below read the text the
// same way: every well-formed UTF-8 sequence is its character, and every byte
// that is not part of one stands for its Latin-1 character, so no byte is
// lost and the result is never empty for a non-empty text.

// The UTF-16 copy of the text (what the messenger is given).
std::u16string ToWide(std::string_view text);

// The text as well-formed UTF-8, safe to hand to toolkits and to D-Bus, which
// drop the connection on malformed UTF-8.
std::string ToDisplayText(std::string_view text);

}  // namespace kelvoran
