#pragma once

#include <filesystem>
#include <optional>

namespace kelvoran {

// The compiled help book (KELVORAN.CHM) in the system's HTML help control.
// The control is loaded on the first request; when it or its entry point is
// missing, every request does nothing and says nothing.
class HelpBook {
 public:
  explicit HelpBook(std::optional<std::filesystem::path> bookFile);
  // The book this program opens (see CompiledHelpPath).
  static std::optional<std::filesystem::path> BookOfThisProgram();

  // Opens the book at the topic of a context number, in a help window owned
  // by the desktop, so that it stays when the main window is minimised.
  bool Show(int context);

 private:
  std::optional<std::filesystem::path> bookFile_;
};

}  // namespace kelvoran
