#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// One rule for names that ignore case: the settings file's sections, the rows
// of the host list, computer and window station names. Only ASCII letters
// are folded; bytes above 0x7F compare as they are, whatever the locale, so
// the list's idea of "the same host" never drifts from the file's.
char FoldAscii(char c);
std::string FoldAscii(std::string_view text);

bool EqualIgnoringCase(std::string_view left, std::string_view right);

// Negative, zero or positive, as the folded texts order by unsigned bytes.
int CompareIgnoringCase(std::string_view left, std::string_view right);

}  // namespace kelvoran
