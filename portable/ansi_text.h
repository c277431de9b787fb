#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// The monitor's 8-bit texts, as the settings file holds them, read the way
// the platform reads 8-bit text: in the ANSI code page on Windows, as UTF-8 on
// Linux (where a hand-edited file's other bytes stand for their Latin-1
// characters). Both conversions below read a text the same way, and neither
// gives an empty result for a non-empty text.

// The UTF-16 copy of the text (what the messenger is given).
std::u16string ToWide(std::string_view text);

// The text as well-formed UTF-8, safe to hand to toolkits and to D-Bus, which
// drop the connection on malformed UTF-8.
std::string ToDisplayText(std::string_view text);

// The text as UTF-8 for a file written for other programs, and back from one:
// converted from and to the ANSI code page on Windows, where characters the
// code page lacks become its replacement; unchanged on Linux, whose texts are
// UTF-8 already and where other bytes stay as the operator wrote them.
std::string ToUtf8Text(std::string_view text);
std::string FromUtf8Text(std::string_view text);

}  // namespace kelvoran
