// F1 and the Help commands on a real X display, through the real help book
// built from help/: each asks for its context number, and the help window
// must show the page of that number.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/filesys.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <filesystem>
#include <regex>
#include <set>

#include "tests/ui/main_window_test.h"
#include "tests/ui/modal_run.h"
#include "ui/dialogs/about_box.h"
#include "ui/dialogs/alert_channels_dialog.h"
#include "ui/dialogs/host_settings_dialog.h"
#include "ui/dialogs/options_dialog.h"
#include "ui/history/alert_log_window.h"
#include "ui/history/history_window.h"
#include "ui/history/outage_log.h"
#include "ui/history/route_view.h"
#include "ui/main_window/command_ids.h"
#include "ui/main_window/optional_columns.h"
#include "ui/parts/help_book.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ClickWithPointer;
using testing::PressKey;
using testing::PumpEvents;

// The file name of a location such as file:/x/kelvoran.htb#zip:page.html.
wxString PageName(const wxString& location) {
  return location.AfterLast('/').AfterLast(':').BeforeFirst('#');
}

// The context numbers the contents file gives: the first of each entry.
std::multiset<int> GivenContexts() {
  const std::string text = testing::FileText(KELVORAN_TEST_HELP_CONTENTS);
  const std::regex id(
      R"re(<object type="text/sitemap">(?:(?!</object>).)*?<param name="ID" value="([0-9]+)">)re");
  std::multiset<int> given;
  for (std::sregex_iterator it(text.begin(), text.end(), id), end; it != end; ++it)
    given.insert(std::stoi((*it)[1]));
  return given;
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
    testing::DestroyClosedWindows();
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
  // The page shown, then closes the help window as its close box would.
  wxString PageThenClose() {
    const wxString page = OpenedPage();
    if (HelpFrame()) HelpFrame()->Close(true);
    testing::DestroyClosedWindows();
    return page;
  }

  std::unique_ptr<HelpBook> book_;
  std::vector<int> requested_;
};

// F1 in the main window and Help > Contents open the window's page in a help
// window of its own; F1 on a highlighted menu command opens that command's
// page. The contents file gives every number the program asks for, once, and
// no other: a command added without a page fails here.
TEST_F(HelpWindow, TheMainWindowAndEachMenuCommandOpenTheirPages) {
  CMainFrame& frame = OpenFrame("Kelvoran");
  frame.Show();
  PressKey(frame, WXK_F1);
  ASSERT_NE(HelpFrame(), nullptr);
  EXPECT_EQ(HelpFrame()->GetParent(), nullptr) << "a child would hide with the main window";
  EXPECT_EQ(PageThenClose(), "main_window.html");
  wxCommandEvent contents(wxEVT_MENU, ID_HELP_CONTENTS);
  frame.ProcessWindowEvent(contents);
  EXPECT_EQ(PageThenClose(), "main_window.html");
  std::set<wxString> pages;
  std::size_t commands = 0;
  const wxMenuBar& bar = *frame.GetMenuBar();
  for (size_t menu = 0; menu < bar.GetMenuCount(); ++menu) {
    for (const wxMenuItem* item : bar.GetMenu(menu)->GetMenuItems()) {
      if (item->IsSeparator()) continue;
      ++commands;
      wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, item->GetId());
      frame.ProcessWindowEvent(highlight);
      PressKey(frame, WXK_F1);
      EXPECT_EQ(requested_.back(), MenuHelpContext(item->GetId()));
      const wxString page = PageThenClose();
      EXPECT_TRUE(page.StartsWith("command_")) << item->GetItemLabelText() << ": " << page;
      pages.insert(page);
      wxMenuEvent close(wxEVT_MENU_CLOSE);
      frame.ProcessWindowEvent(close);
    }
  }
  EXPECT_EQ(pages.size(), commands) << "a page each";
  PressKey(frame, WXK_F1);
  EXPECT_EQ(OpenedPage(), "main_window.html") << "with the menu closed, F1 is the window's";
  std::set<int> asked(requested_.begin(), requested_.end());
  asked.insert({CHostSettingsDialog::kHelpContext, COptionsDialog::kHelpContext,
                kAboutBoxHelpContext, kHistoryWindowHelpContext, kOutagesWindowHelpContext,
                kColumnsDialogHelpContext, kAlertChannelsHelpContext, kAlertLogHelpContext,
                kRouteWindowHelpContext});
  EXPECT_EQ(GivenContexts(), std::multiset<int>(asked.begin(), asked.end()));
}

// Real keys through X and GTK: while a menu is open GTK gives the keys to the
// menu alone, and F1 must still reach the help of the highlighted command.
// The host list's pop-up menu runs a loop of its own: its keys are sent from
// inside it, once it is open.
TEST_F(HelpWindow, F1PressedInAnOpenMenuClosesItAndOpensThePageOfTheHighlightedCommand) {
  CMainFrame& frame = OpenFrame("Kelvoran");
  frame.Show();
  frame.Raise();
  PumpEvents(200ms);
  wxUIActionSimulator input;
  const auto downThenF1 = [&] {
    input.Char(WXK_DOWN);
    PumpEvents(100ms);
    input.Char(WXK_F1);
    PumpEvents(300ms);
  };
  // A click on "&Host", the first title of the bar, highlights nothing.
  const wxRect bar = frame.GetMenuBar()->GetScreenRect();
  input.MouseMove(bar.GetPosition() + wxPoint(15, bar.GetHeight() / 2));
  PumpEvents(100ms);
  input.MouseClick();
  PumpEvents(300ms);
  downThenF1();
  EXPECT_EQ(PageThenClose(), "command_add.html");
  EXPECT_EQ(frame.View().GetItemCount(), 0) << "the highlighted command itself did not run";

  input.MouseMove(frame.View().GetScreenRect().GetPosition() + wxPoint(80, 80));
  PumpEvents(100ms);
  wxTimer inPopUp;
  inPopUp.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    downThenF1();
    input.Char(WXK_ESCAPE);  // a menu that ignored F1 would stay open
  });
  inPopUp.StartOnce(300);
  input.MouseClick(wxMOUSE_BTN_RIGHT);
  PumpEvents(800ms);
  EXPECT_EQ(OpenedPage(), "command_add.html");
}

// F1 and the Help button of each dialog open its page and leave the dialog
// open, also with help already open (the About box's F1: below); F1 in each
// window beside the main one opens that window's page.
TEST_F(HelpWindow, F1AndHelpButtonsOfEachDialogAndWindowOpenTheirPages) {
  CMainFrame& frame = OpenFrame("Kelvoran");
  frame.Show();
  PressKey(frame, WXK_F1);
  COptionsDialog options(nullptr);
  AlertChannelsDialog channels(nullptr, {}, "a store", nullptr, nullptr);
  const std::pair<wxDialog&, const char*> dialogs[] = {
      {frame.View().SettingsDialog(), "settings_dialog.html"},
      {options, "options_dialog.html"},
      {channels, "alert_channels.html"}};
  for (const auto& [dialog, page] : dialogs) {
    // The request must not block: a dialog that ends meanwhile would hang.
    std::vector<wxString> pages;
    bool stillOpen = false;
    testing::RunModal(dialog, [&] {
      PressKey(dialog, WXK_F1);
      pages.push_back(PageThenClose());
      ClickWithPointer(*dialog.FindWindow(wxID_HELP));
      pages.push_back(PageThenClose());
      stillOpen = dialog.IsModal();
      dialog.EndModal(wxID_CANCEL);
    });
    EXPECT_EQ(pages, std::vector<wxString>(2, page));
    EXPECT_TRUE(stillOpen) << page << ": help does not end the dialog";
  }
  const HistoryQueries none{
      [](const std::string&, HistoryTime, HistoryTime) { return std::vector<HistorySample>(); },
      [](HistoryTime, HistoryTime, const std::string*) { return std::vector<HistoryChange>(); },
      [] { return HistoryTime{0}; }};
  std::vector<wxString> pages;
  for (wxFrame* window : std::initializer_list<wxFrame*>{
           new HistoryWindow(nullptr, "h", none), new OutageLog(nullptr, none),
           new AlertLogWindow(nullptr, nullptr),
           new RouteWindow(
               nullptr, "h", none, [] {}, [] { return false; })}) {
    window->Show();
    PumpEvents(100ms);
    PressKey(*window, WXK_F1);
    pages.push_back(PageThenClose());
    window->Destroy();
  }
  // The columns dialog lives inside its function; it is found once its loop runs.
  wxTheApp->CallAfter([&] {
    for (wxWindow* window : wxTopLevelWindows)
      if (auto* dialog = dynamic_cast<wxDialog*>(window); dialog && dialog->IsModal()) {
        PressKey(*dialog, WXK_F1);
        pages.push_back(PageThenClose());
        dialog->EndModal(wxID_CANCEL);
      }
  });
  std::vector<OptionalColumn> shown;
  EXPECT_FALSE(ChooseOptionalColumns(nullptr, shown));
  EXPECT_EQ(pages, (std::vector<wxString>{"history.html", "outage_log.html", "alert_log.html",
                                          "route.html", "columns_dialog.html"}));
}

// Help over a modal dialog takes the input, and the dialog still ends as it
// would without it: the start-up About box on its timer. Afterwards the other
// windows take clicks again.
TEST_F(HelpWindow, HelpOverAModalBoxTakesClicksAndTheBoxStillEndsOnTime) {
  // Long enough for the clicks below even under the sanitizers.
  CAboutBox box(nullptr, 1, 3s);
  wxString page;
  int tabAfterClick = -1;
  bool boxOpenAtClick = false;
  const int result = testing::RunModal(
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

// Unknown numbers and missing or damaged books open nothing and say nothing
// (a message box would fail the test through the testing hook); every entry
// of the contents and the index opens.
TEST_F(HelpWindow, BadNumbersAndBooksOpenNothingAndEveryEntryOpens) {
  EXPECT_FALSE(book_->Show(131201));
  EXPECT_EQ(HelpFrame(), nullptr) << "no empty help window";
  EXPECT_FALSE(book_->Show(kMenuHelpBase));
  std::ofstream(dir_.File("damaged.htb")) << "not a zip archive";
  HelpBook none(std::nullopt), missing(dir_.path() / "kelvoran.htb"),
      damaged(dir_.path() / "damaged.htb");
  for (HelpBook* book : {&none, &missing, &damaged, &damaged})  // the damaged one asked twice
    EXPECT_FALSE(book->Show(131200));
  wxHtmlHelpData& data = *book_->Controller()->GetHelpData();
  wxFileSystem files;
  for (const wxHtmlHelpDataItems* items : {&data.GetContentsArray(), &data.GetIndexArray()})
    for (size_t i = 0; i < items->size(); ++i)
      EXPECT_NE(std::unique_ptr<wxFSFile>(files.OpenFile((*items)[i].GetFullPath())), nullptr)
          << (*items)[i].GetFullPath();
}

}  // namespace
}  // namespace kelvoran
