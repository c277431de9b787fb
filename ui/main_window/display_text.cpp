#include "ui/main_window/display_text.h"

namespace kelvoran {

wxString ToDisplay(std::string_view bytes) {
  wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
  if (text.empty() && !bytes.empty()) text = wxString(bytes.data(), wxConvISO8859_1, bytes.size());
  return text;
}

std::string FromDisplay(const wxString& shown, const std::string& original) {
  if (shown == ToDisplay(original)) return original;
  const wxScopedCharBuffer utf8 = shown.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

}  // namespace kelvoran
