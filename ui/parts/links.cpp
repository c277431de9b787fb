#include "ui/parts/links.h"

#include <wx/utils.h>

#include <utility>

namespace kelvoran {
namespace {

void OpenWithDesktop(const std::string& target) {
  // The launcher runs detached (xdg-open on Linux); a target nobody can open
  // fails there, and a failed link is not worth a message to the operator.
  wxLaunchDefaultBrowser(wxString::FromUTF8(target));
}

LinkOpener& CurrentOpener() {
  static LinkOpener opener = OpenWithDesktop;
  return opener;
}

}  // namespace

void SetLinkOpener(LinkOpener opener) {
  CurrentOpener() = opener ? std::move(opener) : LinkOpener(OpenWithDesktop);
}

void OpenLink(std::string_view target) { CurrentOpener()(std::string(target)); }

}  // namespace kelvoran
