#include "ui/help_book.h"

#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/html/helpctrl.h>
#include <wx/log.h>

#include <utility>

namespace kelvoran {
namespace {

// The book is a zip archive; the viewer reads its pages through wx's virtual
// file system, which knows no archives until a handler is added.
void AddArchiveHandlerOnce() {
  static const bool added = [] {
    wxFileSystem::AddHandler(new wxZipFSHandler);
    return true;
  }();
  (void)added;
}

}  // namespace

HelpBook::HelpBook(std::optional<std::filesystem::path> bookFile)
    : bookFile_(std::move(bookFile)) {}

HelpBook::~HelpBook() = default;

bool HelpBook::Load() {
  if (controller_) return loaded_;
  if (!bookFile_) return false;
  AddArchiveHandlerOnce();
  // No parent: the help window is a window of its own that stays when the
  // main window is minimised, and does not keep the program alive.
  controller_ = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE, nullptr);
  controller_->SetShouldPreventAppExit(false);
  controller_->SetTitleFormat("Kelvoran Help: %s");
  // A damaged book is reported by wx in a message box; help fails silently.
  wxLogNull quiet;
  loaded_ = controller_->AddBook(wxFileName(wxString(bookFile_->string())));
  return loaded_;
}

bool HelpBook::Show(int context) {
  if (!Load()) return false;
  // Display() opens an empty window for a number without a page; ask first.
  if (controller_->GetHelpData()->FindPageById(context).empty()) return false;
  wxLogNull quiet;
  return controller_->Display(context);
}

}  // namespace kelvoran
