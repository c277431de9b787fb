// The monitor's 8-bit texts on Windows are in the ANSI code page, as every
// "A" call of the system reads them (the settings file's private-profile
// calls, the terminal-service calls of the popups). Every byte of a
// single-byte code page is a character, so no byte is lost.
#include "portable/ansi_text.h"

#include <windows.h>

#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

std::wstring AnsiToWide(std::string_view text) {
  return WideFromCodePage(CP_ACP, text, MB_PRECOMPOSED);
}

}  // namespace

std::u16string ToWide(std::string_view text) {
  const std::wstring wide = AnsiToWide(text);
  return {wide.begin(), wide.end()};
}

std::string ToDisplayText(std::string_view text) {
  return CodePageFromWide(CP_UTF8, AnsiToWide(text));
}

std::string ToUtf8Text(std::string_view text) { return ToDisplayText(text); }

std::string FromUtf8Text(std::string_view text) {
  return CodePageFromWide(CP_ACP, WideFromCodePage(CP_UTF8, text));
}

}  // namespace kelvoran
