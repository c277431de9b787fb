#include "ui/msw/help_book.h"

#include <wx/buffer.h>
#include <wx/dynlib.h>
#include <wx/log.h>
#include <wx/msw/registry.h>
#include <wx/msw/wrapwin.h>
#include <wx/stdpaths.h>
#include <wx/string.h>

#include <utility>

#include "ui/parts/help_book_path.h"

namespace kelvoran {
namespace {

// HH_HELP_CONTEXT of htmlhelp.h: the topic mapped to a context number.
constexpr UINT kHelpContext = 0x000F;

using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);

// Where the control is registered as a COM server; a fresh system may have
// it elsewhere than on the search path.
wxString RegisteredControl() {
  wxRegKey key(wxRegKey::HKCR, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32");
  wxString path;
  if (!key.Exists() || !key.QueryValue(wxString(), path)) return {};
  return path;
}

// Loaded once; the library stays loaded until the process ends. A failed load
// is remembered as well.
HtmlHelpFunction LoadHtmlHelp() {
  static const HtmlHelpFunction function = []() -> HtmlHelpFunction {
    // wxDynamicLibrary and wxRegKey log their failures in message boxes.
    wxLogNull quiet;
    wxDynamicLibrary library;
    const wxString registered = RegisteredControl();
    if ((registered.empty() || !library.Load(registered, wxDL_VERBATIM)) &&
        !library.Load("hhctrl.ocx", wxDL_VERBATIM))
      return nullptr;
    auto* entry = reinterpret_cast<HtmlHelpFunction>(library.GetSymbol("HtmlHelpW"));
    library.Detach();
    return entry;
  }();
  return function;
}

}  // namespace

HelpBook::HelpBook(std::optional<std::filesystem::path> bookFile)
    : bookFile_(std::move(bookFile)) {}

std::optional<std::filesystem::path> HelpBook::BookOfThisProgram() {
  return CompiledHelpPath(wxStandardPaths::Get().GetExecutablePath().ToStdWstring());
}

bool HelpBook::Show(int context) {
  const HtmlHelpFunction htmlHelp = bookFile_ ? LoadHtmlHelp() : nullptr;
  if (!htmlHelp) return false;
  HWND window = htmlHelp(::GetDesktopWindow(), bookFile_->c_str(), kHelpContext,
                         static_cast<DWORD_PTR>(context));
  if (!window) return false;
  // Out of the topmost band, where the control may have put it.
  ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return true;
}

}  // namespace kelvoran
