#include "ui/parts/help_request.h"

#include <wx/event.h>
#include <wx/window.h>

#include <utility>

namespace kelvoran {
namespace {

HelpRequester& CurrentRequester() {
  static HelpRequester requester;
  return requester;
}

}  // namespace

void SetHelpRequester(HelpRequester requester) { CurrentRequester() = std::move(requester); }

void RequestHelp(int context) {
  if (CurrentRequester()) CurrentRequester()(context);
}

void AnswerHelpKey(wxWindow& window, int context) {
  // The hook sees the key before any control of the window can take it.
  window.Bind(wxEVT_CHAR_HOOK, [context](wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_F1 && !event.HasAnyModifiers())
      RequestHelp(context);
    else
      event.Skip();
  });
}

}  // namespace kelvoran
