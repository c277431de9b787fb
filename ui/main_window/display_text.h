#pragma once

#include <wx/string.h>

#include <string>
#include <string_view>

namespace kelvoran {

// Host texts are bytes (UTF-8 on this platform). A hand-edited file may hold
// bytes that are not UTF-8: they are shown as Latin-1 so the operator still
// reads something, never an empty field.
wxString ToDisplay(std::string_view bytes);

// The bytes to store for a field showing `shown` that was filled from
// `original`: the original bytes when the operator left the field unchanged,
// so that text which is not UTF-8 is written back exactly as it was read.
std::string FromDisplay(const wxString& shown, const std::string& original);

}  // namespace kelvoran
