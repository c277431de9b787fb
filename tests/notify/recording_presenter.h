#pragma once

#include <string>
#include <vector>

#include "notify/console_presenter.h"

namespace kelvoran::testing {

// Keeps what it was asked to show instead of showing it.
class RecordingPresenter : public ConsolePresenter {
 public:
  struct Shown {
    std::string title;
    std::string message;
  };
  bool Present(const std::string& title, const std::string& message) override {
    shown.push_back({title, message});
    return succeed;
  }
  std::vector<Shown> shown;
  bool succeed = true;
};

}  // namespace kelvoran::testing
