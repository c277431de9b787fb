// F1 and the Help commands on a real X display, through the real help book
// built from help/: each asks for its context number, and the help window
// must show the page of that number.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/filesys.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "tests/ui/main_window_test.h"
#include "tests/ui/modal_run.h"
#include "ui/about_box.h"
#include "ui/command_ids.h"
#include "ui/help_book.h"
#include "ui/help_request.h"
#include "ui/host_settings_dialog.h"
#include "ui/options_dialog.h"
#include "wx_test_support.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ClickWithPointer;
using testing::DestroyClosedWindows;
using testing::PressKey;
using testing::PumpEvents;
using testing::RunModal;

// The page a menu command's F1 must open.
const std::map<int, wxString> kCommandPages = {
    {ID_HOST_ADD, "command_add.html"},
    {ID_HOST_EDIT, "command_edit.html"},
    {ID_HOST_DELETE, "command_delete.html"},
    {ID_HOST_RESET, "command_reset.html"},
    {ID_HOST_IMPORT, "command_import.html"},
    {ID_HOST_EXPORT, "command_export.html"},
    {ID_HOST_HISTORY, "command_history.html"},
    {ID_VIEW_OUTAGES, "command_outages.html"},
    {ID_VIEW_COLUMNS, "command_columns.html"},
    {ID_APP_EXIT, "command_exit.html"},
    {ID_VIEW_TOOLBAR, "command_toolbar.html"},
    {ID_VIEW_STATUS_BAR, "command_status_bar.html"},
    {ID_VIEW_MINIMISE_TO_TRAY, "command_minimise_to_tray.html"},
    {ID_VIEW_OPTIONS, "command_options.html"},
    {ID_HELP_CONTENTS, "command_contents.html"},
    {ID_HELP_WEBSITE, "command_website.html"},
    {ID_HELP_EMAIL, "command_email.html"},
    {ID_APP_ABOUT, "command_about.html"},
};

// The file name of a location such as file:/x/kelvoran.htb#zip:page.html.
wxString PageName(const wxString& location) {
  return location.AfterLast('/').AfterLast(':').BeforeFirst('#');
}

class HelpWindow : public testing::MainWindowTest {
 protected:
  void SetUp() override {
    book_ = std::make_unique<HelpBook>(fs::path(KELVORAN_TEST_HELP_BOOK));
    SetHelpRequester([this](int context) {
      requested_.push_back(context);
      book_->Show(context);
    });
  }

  void TearDown() override {
    SetHelpRequester(nullptr);
    CloseFrame();
    book_.reset();
    DestroyClosedWindows();
  }

  CMainFrame& OpenMainWindow() {
    OpenFrame("Kelvoran").Show();
    return *frame_;
  }

  wxHtmlHelpFrame* HelpFrame() {
    return book_->Controller() ? book_->Controller()->GetFrame() : nullptr;
  }

  // The page the help window shows; empty while there is no help window.
  wxString OpenedPage() {
    PumpEvents(20ms);
    wxHtmlHelpFrame* frame = HelpFrame();
    if (!frame || !frame->IsShown()) return {};
    return PageName(frame->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage());
  }

  // Closes the help window as its close box would.
  void CloseHelp() {
    if (HelpFrame()) HelpFrame()->Close(true);
    DestroyClosedWindows();
  }

  // Asks for help from inside a modal dialog and returns the page shown.
  // The request must not block: a dialog that ends meanwhile would hang.
  wxString PageAskedFromDialog(const std::function<void()>& ask) {
    ask();
    const wxString page = OpenedPage();
    CloseHelp();
    return page;
  }

  std::unique_ptr<HelpBook> book_;
  std::vector<int> requested_;
};

TEST_F(HelpWindow, F1AndHelpContentsInTheMainWindowOpenItsPageInAWindowOfItsOwn) {
  CMainFrame& frame = OpenMainWindow();
  PressKey(frame, WXK_F1);
  EXPECT_EQ(OpenedPage(), "main_window.html");
  ASSERT_NE(HelpFrame(), nullptr);
  EXPECT_EQ(HelpFrame()->GetParent(), nullptr) << "a child would hide with the main window";
  frame.Iconize();
  PumpEvents(50ms);
  EXPECT_TRUE(HelpFrame()->IsShown());
  frame.Iconize(false);
  CloseHelp();
  EXPECT_EQ(OpenedPage(), "");

  wxCommandEvent contents(wxEVT_MENU, ID_HELP_CONTENTS);
  frame.ProcessWindowEvent(contents);
  EXPECT_EQ(OpenedPage(), "main_window.html");
  EXPECT_EQ(requested_, (std::vector<int>{131200, 131200}));
}

TEST_F(HelpWindow, F1OnAHighlightedMenuCommandOpensThePageOfThatCommand) {
  CMainFrame& frame = OpenMainWindow();
  int commands = 0;
  const wxMenuBar& bar = *frame.GetMenuBar();
  for (size_t menu = 0; menu < bar.GetMenuCount(); ++menu) {
    for (const wxMenuItem* item : bar.GetMenu(menu)->GetMenuItems()) {
      if (item->IsSeparator()) continue;
      SCOPED_TRACE(item->GetItemLabelText().ToStdString());
      ++commands;
      wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, item->GetId());
      frame.ProcessWindowEvent(highlight);
      PressKey(frame, WXK_F1);
      EXPECT_EQ(requested_.back(), MenuHelpContext(item->GetId()));
      // A command added without a page of its own fails here.
      const auto page = kCommandPages.find(item->GetId());
      ASSERT_NE(page, kCommandPages.end()) << "no page expected for this command";
      EXPECT_EQ(OpenedPage(), page->second);
      wxMenuEvent close(wxEVT_MENU_CLOSE);
      frame.ProcessWindowEvent(close);
    }
  }
  EXPECT_EQ(commands, static_cast<int>(kCommandPages.size()));
  PressKey(frame, WXK_F1);
  EXPECT_EQ(OpenedPage(), "main_window.html") << "with the menu closed, F1 is the window's";
}

// Real keys through X and GTK: while a menu is open GTK gives the keys to the
// menu alone, and F1 must still reach the help of the highlighted command.
TEST_F(HelpWindow, F1PressedInAnOpenMenuClosesItAndOpensThePageOfTheHighlightedCommand) {
  CMainFrame& frame = OpenMainWindow();
  frame.Raise();
  PumpEvents(200ms);
  wxUIActionSimulator input;
  const wxRect bar = frame.GetMenuBar()->GetScreenRect();
  // Opens "&Host", the first title of the bar, with a click, which leaves
  // nothing highlighted, then walks down the commands with the arrow key.
  auto pressInHostMenu = [&](int downs) {
    input.MouseMove(bar.GetPosition() + wxPoint(15, bar.GetHeight() / 2));
    PumpEvents(100ms);
    input.MouseClick();
    PumpEvents(300ms);
    for (int down = 0; down < downs; ++down) {
      input.Char(WXK_DOWN);
      PumpEvents(100ms);
    }
    input.Char(WXK_F1);
    PumpEvents(300ms);
  };
  pressInHostMenu(1);
  EXPECT_EQ(OpenedPage(), "command_add.html");
  EXPECT_EQ(requested_, std::vector<int>{MenuHelpContext(ID_HOST_ADD)});
  CloseHelp();
  // The second Down skips the commands greyed in an empty list.
  pressInHostMenu(2);
  EXPECT_EQ(OpenedPage(), "command_import.html");
  EXPECT_TRUE(frame.IsShown()) << "the highlighted command itself did not run";
}

// The host list's pop-up menu runs a loop of its own: the keys are sent from
// inside it, once it is open.
TEST_F(HelpWindow, F1InTheHostListsPopUpMenuOpensThePageOfTheHighlightedCommand) {
  CMainFrame& frame = OpenMainWindow();
  frame.Raise();
  PumpEvents(200ms);
  wxUIActionSimulator input;
  input.MouseMove(frame.View().GetScreenRect().GetPosition() + wxPoint(80, 80));
  PumpEvents(100ms);
  wxTimer keys;
  keys.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    input.Char(WXK_DOWN);
    PumpEvents(100ms);
    input.Char(WXK_F1);
    PumpEvents(100ms);
    input.Char(WXK_ESCAPE);  // a menu that ignored F1 would stay open
  });
  keys.StartOnce(300);
  input.MouseClick(wxMOUSE_BTN_RIGHT);
  PumpEvents(800ms);
  EXPECT_EQ(requested_, std::vector<int>{MenuHelpContext(ID_HOST_ADD)});
  EXPECT_EQ(OpenedPage(), "command_add.html");
}

TEST_F(HelpWindow, F1AndTheHelpButtonOfEachDialogOpenItsPageAndLeaveTheDialogOpen) {
  CMainFrame& frame = OpenMainWindow();
  PressKey(frame, WXK_F1);  // help already open when the first dialog comes
  CAboutBox about(nullptr, 0);
  COptionsDialog options(nullptr);
  const struct {
    wxDialog& dialog;
    const char* page;
    bool helpButton;
  } dialogs[] = {{frame.View().SettingsDialog(), "settings_dialog.html", true},
                 {about, "about_box.html", false},
                 {options, "options_dialog.html", true}};
  for (const auto& [dialog, page, helpButton] : dialogs) {
    std::vector<wxString> pages;
    bool stillOpen = false;
    RunModal(dialog, [&] {
      pages.push_back(PageAskedFromDialog([&] { PressKey(dialog, WXK_F1); }));
      if (helpButton)
        pages.push_back(
            PageAskedFromDialog([&] { ClickWithPointer(*dialog.FindWindow(wxID_HELP)); }));
      stillOpen = dialog.IsModal();
      dialog.EndModal(wxID_CANCEL);
    });
    EXPECT_EQ(pages, std::vector<wxString>(helpButton ? 2 : 1, page));
    EXPECT_TRUE(stillOpen) << page << ": help does not end the dialog";
  }
  EXPECT_EQ(requested_,
            (std::vector<int>{kMainWindowHelpContext, CHostSettingsDialog::kHelpContext,
                              CHostSettingsDialog::kHelpContext, kAboutBoxHelpContext,
                              COptionsDialog::kHelpContext, COptionsDialog::kHelpContext}));
}

// Help over a modal dialog takes the input, and the dialog still ends as it
// would without it: the start-up About box on its timer.
TEST_F(HelpWindow, HelpOverAModalBoxTakesClicksAndTheBoxStillEndsOnTime) {
  // Long enough for the clicks below even under the sanitizers.
  CAboutBox box(nullptr, 1, 3s);
  wxString page;
  int tabAfterClick = -1;
  bool boxOpenAtClick = false;
  const int result = RunModal(
      box,
      [&] {
        PressKey(box, WXK_F1);
        page = OpenedPage();
        ASSERT_NE(HelpFrame(), nullptr);
        // Clicks the second tab of the help window ("Index") with the real pointer.
        auto* tabs = dynamic_cast<wxNotebook*>(
            HelpFrame()->GetHelpWindow()->FindWindowByName("notebook", HelpFrame()));
        ASSERT_NE(tabs, nullptr);
        ClickWithPointer(*tabs, wxPoint(130, 12));
        tabAfterClick = tabs->GetSelection();
        boxOpenAtClick = box.IsModal();
      },
      20s);
  EXPECT_EQ(page, "about_box.html");
  EXPECT_TRUE(boxOpenAtClick);
  EXPECT_EQ(tabAfterClick, 1) << "the click reached the help window";
  EXPECT_EQ(result, 0) << "ended by its own timer";
  EXPECT_TRUE(HelpFrame() && HelpFrame()->IsShown()) << "help stays open after the box";

  // With no modal dialog left, the other windows take clicks again.
  auto* other = new wxFrame(nullptr, wxID_ANY, "other", wxPoint(700, 600), wxSize(200, 100));
  auto* button = new wxButton(other, wxID_ANY, "Press");
  bool pressed = false;
  button->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { pressed = true; });
  other->Show();
  PumpEvents(200ms);
  ClickWithPointer(*button);
  EXPECT_TRUE(pressed);
  other->Destroy();
}

TEST_F(HelpWindow, UnknownNumbersAndMissingOrDamagedBooksOpenNothingAndSayNothing) {
  EXPECT_FALSE(book_->Show(131201));
  EXPECT_EQ(HelpFrame(), nullptr) << "no empty help window";
  EXPECT_FALSE(book_->Show(kMenuHelpBase));

  HelpBook none(std::nullopt);
  EXPECT_FALSE(none.Show(131200));
  HelpBook missing(dir_.path() / "kelvoran.htb");
  EXPECT_FALSE(missing.Show(131200));
  std::ofstream(dir_.File("damaged.htb")) << "not a zip archive";
  HelpBook damaged(dir_.path() / "damaged.htb");
  EXPECT_FALSE(damaged.Show(131200));
  EXPECT_FALSE(damaged.Show(131200)) << "asked twice";
  // A message box would fail the test through the testing hook.
  PumpEvents(50ms);
  DestroyClosedWindows();
}

// The book as the viewer reads it: every entry of the contents and of the
// index names a page that is in the book.
TEST_F(HelpWindow, EveryEntryOfTheContentsAndTheIndexNamesAPageOfTheBook) {
  ASSERT_FALSE(book_->Show(1)) << "no page for 1, but the book is read";
  wxHtmlHelpData& data = *book_->Controller()->GetHelpData();
  wxFileSystem files;
  std::set<wxString> inContents;
  std::set<wxString> inIndex;
  auto check = [&](const wxHtmlHelpDataItems& items, std::set<wxString>& pages) {
    for (size_t i = 0; i < items.size(); ++i) {
      const wxString location = items[i].GetFullPath();
      std::unique_ptr<wxFSFile> page(files.OpenFile(location));
      EXPECT_NE(page, nullptr) << location;
      pages.insert(PageName(location));
    }
  };
  check(data.GetContentsArray(), inContents);
  check(data.GetIndexArray(), inIndex);
  EXPECT_GE(inContents.size(), 3 + kCommandPages.size());
  for (const wxString& page : inIndex) EXPECT_TRUE(inContents.count(page)) << page;
}

// The context numbers, read from the contents file where they are given:
// none twice, and exactly the numbers the program asks for.
TEST(HelpContents, EveryContextNumberIsGivenOnceAndAskedForByTheProgram) {
  std::ifstream file(KELVORAN_TEST_HELP_CONTENTS);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  const std::regex entry(R"re(<object type="text/sitemap">.*?</object>)re");
  const std::regex id(R"re(<param name="ID" value="([0-9]+)">)re");
  std::multiset<int> given;
  for (std::sregex_iterator it(text.begin(), text.end(), entry), end; it != end; ++it) {
    const std::string object = it->str();
    std::smatch number;
    if (std::regex_search(object, number, id)) given.insert(std::stoi(number[1]));
  }
  std::multiset<int> asked = {kMainWindowHelpContext, CHostSettingsDialog::kHelpContext,
                              COptionsDialog::kHelpContext, kAboutBoxHelpContext};
  for (const auto& [command, page] : kCommandPages) asked.insert(MenuHelpContext(command));
  EXPECT_EQ(given, asked);
}

}  // namespace
}  // namespace kelvoran
