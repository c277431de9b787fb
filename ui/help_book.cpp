#include "ui/help_book.h"

#include <wx/dialog.h>
#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/log.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

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

bool AnyModalDialog() {
  for (const wxWindow* window : wxTopLevelWindows) {
    const auto* dialog = dynamic_cast<const wxDialog*>(window);
    if (dialog && dialog->IsModal()) return true;
  }
  return false;
}

// Asked for from a modal dialog, the help window must take the pointer and
// the keys, which GTK keeps for the dialog. wx grabs them for the help window
// inside a nested event loop; a dialog that ends meanwhile (the start-up
// About box ends on a timer) then quits that nested loop instead of its own
// and waits for ever, with the main window disabled. The grab alone does the
// job, and the caller goes on at once.
class HelpFrame : public wxHtmlHelpFrame {
 public:
  explicit HelpFrame(wxHtmlHelpData* data) : wxHtmlHelpFrame(data) {
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
      ReleaseInput();
      event.Skip();
    });
    // The grab is for the time of the dialog: once no modal dialog is left,
    // the main window takes its input again while help stays open.
    Bind(wxEVT_IDLE, [this](wxIdleEvent& event) {
      if (!AnyModalDialog()) ReleaseInput();
      event.Skip();
    });
  }
  ~HelpFrame() override { ReleaseInput(); }

#ifdef __WXGTK__
  void AddGrab() override {
    if (grabbed_) return;
    gtk_grab_add(m_widget);
    grabbed_ = true;
  }
  // While a modal dialog runs, wxGTK passes the close box, Alt+F4 and the
  // window manager's close on to a frame only if it holds the grab; without
  // this, help could not be closed and would keep the dialog's input for ever.
  bool IsGrabbed() const override { return grabbed_; }
#endif

 private:
  void ReleaseInput() {
#ifdef __WXGTK__
    if (grabbed_) gtk_grab_remove(m_widget);
    grabbed_ = false;
#endif
  }

  bool grabbed_ = false;
};

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
    frame->SetShouldPreventAppExit(m_shouldPreventAppExit);
    m_helpFrame = frame;
    return frame;
  }
};

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
