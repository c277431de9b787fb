#include "ui/help_request.h"

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

}  // namespace kelvoran
