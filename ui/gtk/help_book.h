#pragma once

#include <filesystem>
#include <memory>
#include <optional>

class wxHtmlHelpController;

namespace kelvoran {

// The help book in the built-in HTML help viewer. Nothing is read until the
// first page is asked for, so start-up does not pay for help.
class HelpBook {
 public:
  explicit HelpBook(std::optional<std::filesystem::path> bookFile);
  // The book this program opens (see FindHelpBook).
  static std::optional<std::filesystem::path> BookOfThisProgram();
  ~HelpBook();
  HelpBook(const HelpBook&) = delete;
  HelpBook& operator=(const HelpBook&) = delete;

  // Opens the help window at the page of a context number. Without a book, or
  // without a page for the number, nothing opens and nothing is said.
  bool Show(int context);

  // The viewer, once the book has been read; null before.
  wxHtmlHelpController* Controller() const { return controller_.get(); }

 private:
  bool Load();

  std::optional<std::filesystem::path> bookFile_;
  std::unique_ptr<wxHtmlHelpController> controller_;
  bool loaded_ = false;
};

}  // namespace kelvoran
