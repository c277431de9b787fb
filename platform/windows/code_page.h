#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// Conversions between an 8-bit code page and the UTF-16 of the wide calls:
// CP_UTF8 for paths, CP_ACP for the monitor's 8-bit texts. Characters the
// target cannot hold become the system's replacement; nothing fails.
std::wstring WideFromCodePage(unsigned codePage, std::string_view text, unsigned long flags = 0);
std::string CodePageFromWide(unsigned codePage, std::wstring_view text);

// The system's own words for an error code (GetLastError), in UTF-8, without
// their line end.
std::string SystemErrorText(unsigned long error);

}  // namespace kelvoran
