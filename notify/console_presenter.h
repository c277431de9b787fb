#pragma once

#include <string>

namespace kelvoran {

// Shows a message on this desktop. The desktop application registers one at
// start-up; it must return at once and leave the message on screen until the
// user dismisses it. Title and message are the monitor's 8-bit texts, handed
// over whole and unchanged; making them safe for display is the presenter's
// part. Called on the user-interface thread only.
class ConsolePresenter {
 public:
  virtual ~ConsolePresenter() = default;
  // False when the message could not be shown.
  virtual bool Present(const std::string& title, const std::string& message) = 0;
};

}  // namespace kelvoran
