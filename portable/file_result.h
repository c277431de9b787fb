#pragma once

#include <string>

namespace kelvoran {

// Outcome of reading or writing a file: an empty `error` means success,
// otherwise it says what failed and why, in words fit for a message box.
struct [[nodiscard]] FileResult {
  std::string error;
  bool ok() const { return error.empty(); }
};

}  // namespace kelvoran
