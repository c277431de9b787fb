#include "ui/gtk/help_book.h"

#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/stdpaths.h>

#include <utility>

#include "ui/parts/help_book_path.h"
#include "ui/parts/window_group.h"

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

// Help asked for from a modal dialog must be usable while the dialog runs,
// and the dialog must go on working beside it. GTK keeps a modal dialog's
// input to the windows of its window group; the help window gets a group of
// its own, so neither window's grab reaches the other. wx would instead grab
// the input for help inside a nested event loop (AddGrab), which leaves the
// dialog dead meanwhile, and a dialog that ends meanwhile (the start-up About
// box ends on a timer) quits that nested loop instead of its own.
class HelpFrame : public wxHtmlHelpFrame {
 public:
  explicit HelpFrame(wxHtmlHelpData* data) : wxHtmlHelpFrame(data) {}

  void AddGrab() override {}
  // wxGTK passes the close box, Alt+F4 and the window manager's close to a
  // frame while a modal dialog runs only if the frame says it holds the
  // input: with a group of its own, it always does.
  bool IsGrabbed() const override { return true; }
};

// The viewer's notebook pages keep their 20 by 20 pixels of creation until
// GTK first allocates the window, and the contents tree in the first page
// is smaller still: GTK then finds no room for the tree's scroll bars and
// says so on the terminal (gtk_box_gadget_distribute: size >= 0). Sized
// before the window is shown, every page starts as large as the notebook.
void LayOutNotebookPages(wxWindow& window) {
  window.Layout();
  if (auto* notebook = dynamic_cast<wxNotebook*>(&window)) {
    for (std::size_t page = 0; page < notebook->GetPageCount(); ++page) {
      notebook->GetPage(page)->SetSize(notebook->GetClientSize());
      notebook->GetPage(page)->Layout();
    }
  }
  for (wxWindow* child : window.GetChildren()) LayOutNotebookPages(*child);
}

class HelpController : public wxHtmlHelpController {
 public:
  HelpController() : wxHtmlHelpController(wxHF_DEFAULT_STYLE, nullptr) {}

 protected:
  // As the base class makes its frame, with the frame above.
  wxHtmlHelpFrame* CreateHelpFrame(wxHtmlHelpData* data) override {
    auto* frame = new HelpFrame(data);
    frame->SetController(this);
    frame->SetTitleFormat(m_titleFormat);
    frame->Create(m_parentWindow, wxID_ANY, wxEmptyString, m_FrameStyle, m_Config, m_ConfigRoot);
    KeepOutOfModalGrabs(*frame);
    LayOutNotebookPages(*frame);
    frame->SetShouldPreventAppExit(m_shouldPreventAppExit);
    m_helpFrame = frame;
    return frame;
  }
};

}  // namespace

HelpBook::HelpBook(std::optional<std::filesystem::path> bookFile)
    : bookFile_(std::move(bookFile)) {}

HelpBook::~HelpBook() = default;

std::optional<std::filesystem::path> HelpBook::BookOfThisProgram() {
  const std::filesystem::path program(wxStandardPaths::Get().GetExecutablePath().ToStdString());
  return FindHelpBook(program, KELVORAN_HELP_DIR);
}

bool HelpBook::Load() {
  if (controller_) return loaded_;
  if (!bookFile_) return false;
  AddArchiveHandlerOnce();
  // No parent: the help window is a window of its own that stays when the
  // main window is minimised, and does not keep the program alive.
  controller_ = std::make_unique<HelpController>();
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
