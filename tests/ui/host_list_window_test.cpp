// The real main frame, host list and settings dialog on a real X display:
// commands arrive as events, modal dialogs are answered through wx's testing
// hooks, and results come through the real mailbox and tick.
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/html/helpctrl.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/spinbutt.h>
#include <wx/statbox.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>
#include <tuple>

#include "engine/host_settings.h"
#include "engine/result_text.h"
#include "history/history_link.h"
#include "tests/engine/fake_host_rows.h"
#include "tests/ui/main_window_test.h"
#include "tests/ui/modal_run.h"
#include "ui/command_ids.h"
#include "ui/help_book.h"
#include "ui/help_request.h"
#include "ui/host_settings_dialog.h"
#include "ui/notification_box.h"
#include "ui/number_field.h"
#include "ui/options_dialog.h"
#include "ui/tray_status.h"

namespace kelvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ClickWithPointer;
using testing::PumpEvents;
using Texts = std::vector<wxString>;
using ExpectSettings = testing::ExpectDialog<CHostSettingsDialog>;

int PressOk(CHostSettingsDialog& dialog) {
  dialog.StoreSettings();
  return wxID_OK;
}

// Answers a message box with OK, keeping its message.
testing::ExpectDialog<wxMessageDialog> ReadBox(wxString& message) {
  return testing::ExpectDialog<wxMessageDialog>([&message](wxMessageDialog& box) {
    message = box.GetTitle() + "|" + box.GetMessage();
    return static_cast<int>(wxID_OK);
  });
}

class HostListWindow : public testing::MainWindowTest {
 protected:
  void Open(const std::string& ini = "") {
    if (!ini.empty()) std::ofstream(settingsPath_) << ini;
    OpenFrame().Show();
  }
  void Reopen(const std::string& ini) {
    CloseFrame();
    Open(ini);
  }

  CTessarelView& View() { return frame_->View(); }
  // The generic control's row area, found by its address.
  wxWindow& Rows() {
    for (wxWindow* child : View().GetChildren())
      if (static_cast<void*>(child) == static_cast<void*>(View().m_mainWin)) return *child;
    throw std::runtime_error("no row area");
  }
  wxString Cell(int row, int column) { return View().GetItemText(row, column); }
  Texts Cells(int row) {
    Texts cells;
    for (int column = 1; column < View().GetColumnCount(); ++column)
      cells.push_back(Cell(row, column));
    return cells;
  }
  Texts HostColumn() {
    Texts names;
    for (int row = 0; row < View().GetItemCount(); ++row) names.push_back(Cell(row, 0));
    return names;
  }

  void Feed(int row, std::int32_t code, std::uint32_t rtt) {
    ProbeJobPtr job(new ProbeJob);
    View().RecordAt(row).MakeProbeJob(*job);
    job->Result.ResultCode = code;
    job->Result.RoundTripTime = rtt;
    job->Result.StartTime = now_;
    now_ += 10;
    mailbox_.Put(std::move(job));
    ++scheduler_->OutstandingProbes;
  }

  std::string FileText() { return testing::FileText(settingsPath_); }
  bool Contains(const std::string& text) { return FileText().find(text) != std::string::npos; }
  void Command(int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(frame_);
    frame_->ProcessWindowEvent(event);
  }
  // Runs the command with the settings dialog answered by `act`.
  void Settings(int id, const std::function<int(CHostSettingsDialog&)>& act) {
    wxTEST_DIALOG(Command(id), ExpectSettings(act));
  }
  void NameAndOk(int id, const wxString& name) {
    Settings(id, [&](CHostSettingsDialog& dialog) {
      dialog.HostField()->ChangeValue(name);
      return PressOk(dialog);
    });
  }
  void ClickHeader(int column) {
    wxListEvent event(wxEVT_LIST_COL_CLICK, View().GetId());
    event.m_col = column;
    event.SetEventObject(&View());
    View().ProcessWindowEvent(event);
  }
  // Runs the command, and `act` inside the settings dialog it opens modally
  // for real.
  void WithSettingsDialog(int id, const std::function<void(CHostSettingsDialog&)>& act) {
    CHostSettingsDialog& dialog = View().SettingsDialog();
    PumpEvents(300ms);  // the main window mapped first, as the operator has it
    testing::RunModalFrom([&] { Command(id); }, dialog,
                          [&] {
                            PumpEvents(300ms);  // mapped and focused by the window manager
                            act(dialog);
                          },
                          20s);
  }
  void Select(int row) { View().SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED); }
  wxString SelectedHost() {
    const long row = View().GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    return row < 0 ? wxString("(none)") : Cell(static_cast<int>(row), 0);
  }
  // Opens the list's context menu as a right click does and reads, while it
  // is open, which items the operator can choose; Escape closes it.
  std::map<int, bool> ContextMenuItemsEnabled() {
    std::map<int, bool> enabled;
    wxTimer later;
    const auto read = [&](wxMenuEvent& event) {
      event.Skip();  // the frame brings the menu's items up to date on it
      later.Bind(wxEVT_TIMER, [&, menu = event.GetMenu()](wxTimerEvent&) {
        for (const int id : {ID_HOST_ADD, ID_HOST_EDIT, ID_HOST_DELETE, ID_HOST_RESET})
          enabled[id] = menu->IsEnabled(id);
        wxUIActionSimulator().Char(WXK_ESCAPE);
      });
      later.StartOnce(100);
    };
    View().Bind(wxEVT_MENU_OPEN, read);
    wxContextMenuEvent rightClick(wxEVT_CONTEXT_MENU, View().GetId(), wxGetMousePosition());
    rightClick.SetEventObject(&View());
    View().ProcessWindowEvent(rightClick);
    View().Unbind(wxEVT_MENU_OPEN, read);
    wxMilliSleep(100);  // the key's release, which must not close the next menu
    wxTheApp->Yield();
    return enabled;
  }
  bool ToolEnabled(int id) {
    frame_->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    return frame_->GetToolBar()->GetToolEnabled(id);
  }
  wxString StatusText() { return frame_->GetStatusBar()->GetStatusText(); }
};

constexpr const char* kTwoHosts =
    "[gamma]\nHost=gamma\nDescription=Third\n"
    "[alpha]\nHost=alpha\nDescription=First\n";
// A host added with the settings dialog's defaults.
constexpr const char* kBetaSection =
    "[beta]\nHost=beta\nTimeout=10\nDelay=10\nPacketSize=32\nFailPeriod=30\nSuccessPeriod=30\n"
    "PopupDestination=\nPopupMessage=\nDescription=Second\n";

TEST_F(HostListWindow, CellsFollowMailboxResultsAtTheTickAndResetStartsAfresh) {
  Open(kTwoHosts);
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "gamma"}));
  const Texts fresh{"First", "-", "0", "-", "-", "-", "-", ""};
  EXPECT_EQ(Cells(0), fresh);
  wxListItem item;
  item.SetId(0);
  item.SetMask(wxLIST_MASK_IMAGE);
  View().GetItem(item);
  EXPECT_EQ(item.GetImage(), 1);
  Feed(0, 0, 0);
  EXPECT_EQ(Cell(0, 3), "0") << "nothing changes before the tick";
  const auto paints = std::make_shared<int>(0);
  Rows().Bind(wxEVT_PAINT, [paints](wxPaintEvent& event) {
    ++*paints;
    event.Skip();
  });
  PumpEvents(300ms);
  *paints = 0;
  View().ProcessTick();
  PumpEvents(300ms);
  EXPECT_GT(*paints, 0) << "the changed row is painted again";
  EXPECT_EQ(Cells(0), (Texts{"First", "< 10", "1", "100.00", "< 10", "< 10", "< 10", ""}));
  Feed(0, 0, 40);
  Feed(0, 610, 0);
  View().ProcessTick();
  EXPECT_EQ(Cells(0),
            (Texts{"First", "-", "3", "66.67", "< 10", "20", "40", "Request timed out."}));
  EXPECT_EQ(Cell(1, 3), "0") << "the other host is untouched";
  EXPECT_EQ(scheduler_->OutstandingProbes, 0);
  wxTEST_DIALOG(Command(ID_HOST_RESET), wxExpectModal<wxMessageDialog>(wxNO));
  EXPECT_EQ(Cell(0, 3), "3");
  wxTEST_DIALOG(Command(ID_HOST_RESET), wxExpectModal<wxMessageDialog>(wxYES));
  EXPECT_EQ(Cells(0), fresh);
  EXPECT_EQ(View().RecordAt(0).LastProbeTime, 0);
}

TEST_F(HostListWindow, ToolbarAndContextMenuFollowSelectionAndRows) {
  Open();
  auto menu = ContextMenuItemsEnabled();
  for (const int id : {ID_HOST_ADD, ID_HOST_EDIT, ID_HOST_DELETE, ID_HOST_RESET}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(ToolEnabled(id), id == ID_HOST_ADD) << "no rows";
    EXPECT_EQ(menu[id], id == ID_HOST_ADD || id == ID_HOST_RESET) << "the context menu";
  }
  Reopen(kTwoHosts);
  EXPECT_TRUE(ToolEnabled(ID_HOST_RESET));
  EXPECT_FALSE(ToolEnabled(ID_HOST_EDIT));
  EXPECT_FALSE(ContextMenuItemsEnabled()[ID_HOST_EDIT]);
  Select(1);
  menu = ContextMenuItemsEnabled();
  for (const int id : {ID_HOST_EDIT, ID_HOST_DELETE})
    EXPECT_TRUE(ToolEnabled(id) && menu[id]) << id;
}

TEST_F(HostListWindow, AddStartsFromDefaultsKeepsLastValidNumbersAndRefusedSavesLeaveTheList) {
  Open(kTwoHosts);
  const std::string before = FileText();
  Settings(ID_HOST_ADD, [](CHostSettingsDialog& dialog) {
    dialog.PopupWhenOkBox()->SetValue(true);
    return wxID_CANCEL;
  });
  Settings(ID_HOST_ADD, PressOk);  // no host name
  EXPECT_EQ(View().GetItemCount(), 2);
  EXPECT_EQ(FileText(), before);
  Select(1);
  Settings(ID_HOST_ADD, [](CHostSettingsDialog& dialog) {
    EXPECT_TRUE(dialog.HostField()->GetValue().empty());
    EXPECT_EQ(
        (std::vector<int>{dialog.PacketSizeField()->GetValue(), dialog.TimeoutField()->GetValue(),
                          dialog.SuccessPeriodField()->GetValue(),
                          dialog.FailPeriodField()->GetValue(), dialog.DelayField()->GetValue()}),
        (std::vector<int>{32, 10, 30, 30, 10}));
    EXPECT_TRUE(dialog.ResultField(0)->GetValue().empty());
    EXPECT_FALSE(dialog.PopupWhenOkBox()->GetValue());
    dialog.HostField()->ChangeValue(" beta\t");
    dialog.DescriptionField()->ChangeValue("Second ");
    // Typed digit by digit: 5, 50 and 500 are in range, but nobody chose
    // them; the value at opening stays.
    for (const char* typed : {"5", "50", "500", "5000"})
      dialog.DelayField()->Text()->SetValue(typed);
    dialog.TimeoutField()->Text()->SetValue("");
    dialog.PacketSizeField()->Text()->SetValue("0");
    return PressOk(dialog);
  });
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "beta", "gamma"}));
  EXPECT_EQ(Cell(1, 1), "Second");
  EXPECT_EQ(SelectedHost(), "gamma") << "the selection stays with its host, not the new row";
  EXPECT_TRUE(Contains(kBetaSection)) << FileText();
  // A directory where the settings file should be: every write fails, and
  // each command says so and leaves the list as the next start will load it.
  fs::remove(settingsPath_);
  fs::create_directory(settingsPath_);
  const Texts hosts = HostColumn();
  const struct {
    int command;
    const char* said;
  } refused[] = {{ID_HOST_ADD, "The host was not added."},
                 {ID_HOST_EDIT, "The host keeps its former settings."},
                 {ID_HOST_DELETE, "The host stays in the list."}};
  for (const auto& [command, said] : refused) {
    Select(0);
    wxString shown;
    if (command == ID_HOST_DELETE) {
      wxTEST_DIALOG(Command(command), ReadBox(shown));
    } else {
      wxTEST_DIALOG(Command(command), ExpectSettings([](CHostSettingsDialog& dialog) {
                      dialog.HostField()->ChangeValue("delta");
                      return PressOk(dialog);
                    }),
                    ReadBox(shown));
    }
    EXPECT_TRUE(shown.StartsWith("Kelvoran by Brindlecot|")) << shown;
    EXPECT_NE(shown.find(settingsPath_), wxString::npos) << shown;
    EXPECT_TRUE(shown.EndsWith(said)) << shown;
    EXPECT_EQ(HostColumn(), hosts) << said;
  }
}

// Another copy in the same folder added omega, removed gamma and edited
// alpha: this copy's Add keeps all of that, says so, and on request shows it,
// alpha keeping its results.
TEST_F(HostListWindow, AnotherCopysChangesAreKeptAndReloadedOnRequest) {
  Open(kTwoHosts);
  Feed(0, ResultSuccess, 5);
  View().ProcessTick();
  HostRecord omega;
  omega.Host = "omega";
  HostRecord alpha(View().RecordAt(0));
  alpha.Description = "Edited elsewhere";
  ASSERT_TRUE(SaveHostSettings(omega, omega.Host, settingsPath_).ok());
  ASSERT_TRUE(SaveHostSettings(alpha, alpha.Host, settingsPath_).ok());
  ASSERT_TRUE(RemoveHostSection("gamma", nullptr, settingsPath_).ok());
  wxString question;
  wxTEST_DIALOG(
      {
        NameAndOk(ID_HOST_ADD, "beta");
        wxTheApp->ProcessPendingEvents();
      },
      testing::ExpectDialog<wxMessageDialog>([&](wxMessageDialog& box) {
        question = box.GetMessage();
        return static_cast<int>(wxID_YES);
      }));
  EXPECT_NE(question.find("was changed by another program"), wxString::npos) << question;
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "beta", "omega"}));
  EXPECT_EQ(Cell(0, 1), "Edited elsewhere");
  EXPECT_EQ(Cell(0, 3), "1") << "alpha keeps its results";
  for (const char* kept : {"[omega]", "[beta]", "Description=Edited elsewhere"})
    EXPECT_TRUE(Contains(kept)) << kept << "\n" << FileText();
  EXPECT_FALSE(Contains("Host=gamma")) << FileText();
}

// A hand-edited section whose name is longer than Host holds, with a comment
// and a key this version does not know: OK without a change leaves the file
// as it was, an edit keeps what it did not change, and Delete removes exactly
// that section.
TEST_F(HostListWindow, EditAndDeleteActOnTheSectionTheRowCameFrom) {
  const std::string longName(1500, 'z');
  const std::string ini =
      "[alpha]\nHost=alpha\n[" + longName + "]\nHost=" + longName + "\n; kept\nCustom=1\n";
  Open(ini);
  const auto editLong = [&](const char* description) {
    Select(1);
    Settings(ID_HOST_EDIT, [&](CHostSettingsDialog& dialog) {
      const int answer = PressOk(dialog);
      if (description) dialog.EditRecord->Description = description;
      return answer;
    });
  };
  editLong(nullptr);
  EXPECT_EQ(FileText(), ini);
  editLong("edited");
  Reopen("");
  ASSERT_EQ(View().GetItemCount(), 2) << FileText();
  EXPECT_EQ(Cell(1, 1), "edited");
  for (const std::string& kept :
       {"[" + longName + "]\nHost=" + longName, std::string("; kept\nCustom=1")})
    EXPECT_TRUE(Contains(kept)) << FileText();
  Select(1);
  Command(ID_HOST_DELETE);
  Reopen("");
  EXPECT_EQ(HostColumn(), (Texts{"alpha"})) << FileText();
}

TEST_F(HostListWindow, OkStoresNoMoreBytesThanTheFileReadsBackAndCutsNoCharacter) {
  Open();
  std::string twoByteLetters;
  for (int i = 0; i < 1023; ++i) twoByteLetters += "\xC3\xA9";
  Settings(ID_HOST_ADD, [&](CHostSettingsDialog& dialog) {
    dialog.HostField()->ChangeValue("host");
    dialog.MessageField()->ChangeValue(wxString::FromUTF8(twoByteLetters));
    dialog.MessageField()->AppendText("x");  // past 1023 characters
    return PressOk(dialog);
  });
  ASSERT_EQ(View().GetItemCount(), 1);
  const std::string& stored = View().RecordAt(0).PopupMessage;
  EXPECT_TRUE(stored == twoByteLetters.substr(0, 1022)) << stored.size() << " bytes";
  EXPECT_TRUE(Contains("PopupMessage=" + stored + "\n"));
}

// Real keys and clicks under a window manager.
TEST_F(HostListWindow, NumberFieldsAreOneTabStopEachAndKeepWhatTheArrowsLeft) {
  Open();
  std::vector<wxWindow*> expected;
  std::vector<wxWindow*> stops;
  WithSettingsDialog(ID_HOST_ADD, [&](CHostSettingsDialog& dialog) {
    expected = {dialog.HostField(),
                dialog.DescriptionField(),
                dialog.PacketSizeField()->Text(),
                dialog.TimeoutField()->Text(),
                dialog.SuccessPeriodField()->Text(),
                dialog.FailPeriodField()->Text(),
                dialog.DelayField()->Text(),
                dialog.DestinationField(),
                dialog.MessageField(),
                dialog.PopupWhenOkBox(),
                dialog.FindWindow(wxID_OK)};
    wxUIActionSimulator input;
    ClickWithPointer(*dialog.HostField());
    input.Text("host");
    stops.push_back(wxWindow::FindFocus());
    while (stops.size() < expected.size()) {
      input.Char(WXK_TAB);
      PumpEvents(50ms);
      stops.push_back(wxWindow::FindFocus());
    }
    // The "+" of the packet size, then a letter.
    const wxSize arrows = dialog.PacketSizeField()->Spin()->GetSize();
    ClickWithPointer(*dialog.PacketSizeField()->Spin(), wxPoint(arrows.x * 3 / 4, arrows.y / 2));
    input.Text("x");
    // The Up key in "Repeat ping every", then a number out of range.
    wxTextCtrl& delay = *dialog.DelayField()->Text();
    ClickWithPointer(delay, wxPoint(delay.GetSize().x / 2, delay.GetSize().y / 2));
    input.Char(WXK_UP);
    PumpEvents(100ms);
    input.Char('A', wxMOD_CONTROL);
    input.Text("5000");
    input.Char(WXK_RETURN);
    PumpEvents(100ms);
  });
  EXPECT_EQ(stops, expected);
  ASSERT_EQ(View().GetItemCount(), 1) << "Enter in a number field is OK";
  const HostRecord& host = View().RecordAt(0);
  EXPECT_EQ(std::tie(host.Host, host.PacketSize, host.Delay), std::tuple("host", 33u, 11));
}

// A notification box or the help window opened beside the settings dialog,
// twice: the dialog takes typing while it is open, and closing it as the
// operator would (the box's OK; the window manager's close, Alt+F4, for help)
// leaves the dialog working.
TEST_F(HostListWindow, AWindowBesideTheSettingsDialogClosesAndLeavesTheDialogWorking) {
  HelpBook book(fs::path(KELVORAN_TEST_HELP_BOOK));
  SetHelpRequester([&](int context) { book.Show(context); });
  wxUIActionSimulator input;
  // The window beside the dialog while it is shown.
  const auto shown = [&](bool help) -> wxTopLevelWindow* {
    wxFrame* frame = book.Controller() ? book.Controller()->GetFrame() : nullptr;
    if (help) return frame && frame->IsShown() ? frame : nullptr;
    for (wxWindow* window : wxTopLevelWindows)
      if (auto* box = dynamic_cast<NotificationBox*>(window)) return box;
    return nullptr;
  };
  for (const bool help : {false, true}) {
    SCOPED_TRACE(help ? "help" : "notification box");
    fs::remove(settingsPath_);
    Reopen("");
    int opened = 0;
    bool stayed = false;
    wxString typedBeside;
    WithSettingsDialog(ID_HOST_ADD, [&](CHostSettingsDialog& dialog) {
      for (int round = 0; round < 2; ++round) {
        if (help) {
          ClickWithPointer(*dialog.HostField());
          input.Char(WXK_F1);
          PumpEvents(500ms);
          if (wxTopLevelWindow* window = shown(help))
            window->SetSize(wxRect(dialog.GetScreenRect().GetRight() + 20, 0, 300, 300));
        } else {
          auto* box = new NotificationBox(frame_, "Kelvoran Notification", "alpha is down");
          box->Show();
          box->Raise();
          box->Move(0, 0);  // beside the dialog, as the operator would drag it
        }
        PumpEvents(300ms);
        wxTopLevelWindow* beside = shown(help);
        if (!beside) continue;
        ++opened;
        if (round == 0) {
          ClickWithPointer(*dialog.HostField());
          input.Text("be");
          PumpEvents(100ms);
          typedBeside = dialog.HostField()->GetValue();
        }
        wxWindow& target = help ? *beside : *beside->FindWindow(wxID_OK);
        const wxSize size = target.GetClientSize();
        ClickWithPointer(target, wxPoint(size.x / 2, help ? size.y - 5 : size.y / 2));
        if (help) input.Char(WXK_F4, wxMOD_ALT);
        PumpEvents(500ms);
        testing::DestroyClosedWindows();
        stayed |= shown(help) != nullptr;
      }
      ClickWithPointer(*dialog.HostField());
      input.Char(WXK_END);
      input.Text("ta");
      input.Char(WXK_RETURN);
      PumpEvents(100ms);
    });
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(typedBeside, "be") << "the dialog takes keys while the window is open";
    EXPECT_FALSE(stayed);
    EXPECT_EQ(HostColumn(), Texts{"beta"});
  }
  SetHelpRequester(nullptr);
}

TEST_F(HostListWindow, EditShowsItsOwnLiveResultsAndKeepsThemAfterOk) {
  Open(kTwoHosts);
  Feed(0, ResultResolveFailed, 0);
  View().ProcessTick();
  Select(0);
  Settings(ID_HOST_EDIT, [this](CHostSettingsDialog& dialog) {
    EXPECT_TRUE(Contains("Host=alpha")) << "the host stays in the file meanwhile";
    EXPECT_EQ(dialog.HostField()->GetValue(), "alpha");
    const wxTextCtrl& error = *dialog.ResultField(9);
    EXPECT_EQ(error.GetValue(), "Error resolving host address.");
    // The testing hook answers instead of showing the window; show it as a
    // modal run would.
    dialog.Show();
    Feed(1, 0, 30);
    View().ProcessTick();
    EXPECT_EQ(dialog.ResultField(5)->GetValue(), "1") << "another host's result";
    Feed(0, 0, 30);
    View().ProcessTick();
    EXPECT_EQ(dialog.ResultField(5)->GetValue(), "2");
    EXPECT_EQ(dialog.ResultField(0)->GetValue(), "WARNING");
    dialog.Hide();
    dialog.DescriptionField()->ChangeValue("Renamed");
    EXPECT_FALSE(dialog.PopupWhenOkBox()->GetValue());
    dialog.PopupWhenOkBox()->SetValue(true);
    return PressOk(dialog);
  });
  EXPECT_EQ(View().RecordAt(0).Description, "Renamed");
  EXPECT_TRUE(View().RecordAt(0).PopupWhenOk);
  EXPECT_TRUE(Contains("Description=Renamed\nPopupWhenOk=1\n")) << FileText();
  Select(1);
  Settings(ID_HOST_EDIT, [](CHostSettingsDialog& dialog) {
    EXPECT_FALSE(dialog.PopupWhenOkBox()->GetValue()) << "the other host's own";
    return wxID_CANCEL;
  });
  EXPECT_EQ(View().RecordAt(0).SentCount, 2u);
  EXPECT_EQ(Cell(0, 1), "First") << "cells follow at the next result";
  Feed(0, 0, 20);
  View().ProcessTick();
  EXPECT_EQ(Cell(0, 1), "Renamed");
  EXPECT_TRUE(Contains("Description=Renamed"));
}

// Stands in for the history: the renames it hears, and a notice for the
// status bar.
struct HeardHistory : HistoryLink {
  void ResultApplied(const HostRecord&, const ProbeResult&, std::int32_t) override {}
  void TickEnded() override {}
  void HostRenamed(const std::string& from, const std::string& to) override {
    renames.push_back(from + " > " + to);
  }
  std::optional<std::string> TakeNotice() override { return std::exchange(notice, std::nullopt); }
  HistoryQueries Queries() override { return {}; }
  std::vector<std::string> renames;
  std::optional<std::string> notice =
      "History recording paused: KELVORAN.HISTORY cannot be written.";
};

TEST_F(HostListWindow, RenameDeleteAndANamesakeOfOtherCase) {
  Open("[alpha]\nHost=alpha\n[other]\nHost=other\n");
  HeardHistory history;
  const wxString notice = *history.notice;
  frame_->SetHistory(&history);
  Select(1);
  NameAndOk(ID_HOST_EDIT, "delta");
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "delta"}));
  EXPECT_TRUE(Contains("[other]\n[")) << "the old section is emptied: " << FileText();
  NameAndOk(ID_HOST_EDIT, "");
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "delta"})) << "an empty name is refused";
  EXPECT_TRUE(Contains("[delta]\nHost=delta\n")) << FileText();
  NameAndOk(ID_HOST_ADD, "ALPHA");
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "ALPHA", "delta"})) << "after the names equal to it";
  Select(0);
  Command(ID_HOST_DELETE);
  EXPECT_EQ(View().GetItemCount(), 2);
  EXPECT_EQ(View().GetSelectedItemCount(), 0);
  EXPECT_TRUE(Contains("Host=ALPHA\n")) << "the twin keeps the shared section";
  Select(1);
  Command(ID_HOST_DELETE);
  EXPECT_FALSE(Contains("Host=delta")) << FileText();
  EXPECT_EQ(history.renames, std::vector<std::string>{"other > delta"});
  // The frame's own one-second timer.
  EXPECT_TRUE(testing::Eventually([&] { return StatusText() == notice; })) << StatusText();
  frame_->SetHistory(nullptr);
}

// Names the settings file reads as one section ("x", " X ") are one host: an
// edit to such a name rewrites the host's own section, and a second host of
// such a name is refused, so every host shown comes back at the next start.
TEST_F(HostListWindow, NamesOfOneSectionAreOneHostAndNoneIsLostAtTheNextStart) {
  Open("[127.0.0.1]\nHost=127.0.0.1\nDelay=7\n[localhost]\nHost=localhost\nDelay=8\n");
  Select(0);
  Settings(ID_HOST_EDIT, [](CHostSettingsDialog& dialog) {
    dialog.HostField()->ChangeValue("127.0.0.1 ");
    EXPECT_FALSE(dialog.IsHostTaken("127.0.0.1 ")) << "by the host itself";
    return PressOk(dialog);
  });
  for (const char* twin : {" 127.0.0.1 ", " LOCALHOST"}) {
    wxString refusal;
    wxTEST_DIALOG(Command(ID_HOST_ADD), ExpectSettings([&](CHostSettingsDialog& dialog) {
                    dialog.HostField()->ChangeValue(twin);
                    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
                    dialog.ProcessWindowEvent(ok);
                    return static_cast<int>(wxID_CANCEL);
                  }),
                  ReadBox(refusal));
    EXPECT_NE(refusal.find("already"), wxString::npos) << twin;
  }
  Reopen("");
  ASSERT_EQ(View().GetItemCount(), 2) << FileText();
  EXPECT_EQ(std::pair(View().RecordAt(0).Delay, View().RecordAt(1).Delay), std::pair(7, 8));
}

TEST_F(HostListWindow, ImportAddsNewHostsSavedAsAddSavesThemAndExportWritesThemBack) {
  Open(kTwoHosts);
  const std::string list = dir_.File("in.csv");
  std::ofstream(list) << "# hosts\n ALPHA ,dup\nbeta, Second\n, nameless\nzeta\nbeta\n";
  for (const int id : {ID_HOST_IMPORT, ID_HOST_EXPORT})
    wxTEST_DIALOG(Command(id), testing::ExpectDialog<wxFileDialog>(
                                   [](wxFileDialog&) { return static_cast<int>(wxID_CANCEL); }));
  wxString summary;
  wxTEST_DIALOG(View().ImportFile(list), ReadBox(summary));
  EXPECT_EQ(summary, "Kelvoran by Brindlecot|Imported 2 hosts from " + list +
                         ".\nSkipped 2 hosts already in the list.\nRefused 1 line:\n"
                         "Line 4: no host name");
  const Texts all{"alpha", "beta", "gamma", "zeta"};
  EXPECT_EQ(HostColumn(), all);
  EXPECT_TRUE(Contains(kBetaSection)) << FileText();
  const std::string out = dir_.File("out.csv");
  View().ExportFile(out);
  EXPECT_EQ(testing::FileText(out),
            "# Kelvoran host list: host name, description\n"
            "alpha,First\nbeta,Second\ngamma,Third\nzeta\n");
  Reopen("");
  EXPECT_EQ(HostColumn(), all);
}

// A big import asks first, naming the count and the first hosts; No leaves all
// as it was. Undo import takes out exactly what the import added, from the
// list and the file. A binary file adds nothing.
TEST_F(HostListWindow, BigImportAsksFirstAndUndoImportTakesItsHostsOutOfListAndFile) {
  Open(kTwoHosts);
  const std::string before = FileText();
  const auto undoEnabled = [this] {
    wxMenu* menu = nullptr;
    wxMenuItem* item = frame_->GetMenuBar()->FindItem(ID_HOST_UNDO_IMPORT, &menu);
    menu->UpdateUI(frame_);
    return item->IsEnabled();
  };
  EXPECT_FALSE(undoEnabled());
  // UTF-16 as a spreadsheet saves it: its names read as text.
  std::string names = "Alpha,dup\r\n\r\n";
  for (int i = 0; i < 600; ++i) names += "h" + std::to_string(1000 + i) + "\r\n";
  std::string list = "\xFF\xFE";
  for (const char c : names) list += {c, '\0'};
  const std::string path = dir_.File("big.txt");
  std::ofstream(path, std::ios::binary) << list;
  wxString question;
  const auto answer = [&](int button) {
    return testing::ExpectDialog<wxMessageDialog>([&question, button](wxMessageDialog& box) {
      question = box.GetMessage();
      return button;
    });
  };
  wxTEST_DIALOG(View().ImportFile(path), answer(wxID_NO));
  EXPECT_TRUE(question.StartsWith("Add 600 hosts from " + path + "?")) << question;
  EXPECT_TRUE(question.Contains("\n    h1000\n    h1001\n")) << question;
  EXPECT_TRUE(question.Contains("...and 590 more.")) << question;
  EXPECT_EQ(View().GetItemCount(), 2);
  EXPECT_EQ(FileText(), before);
  EXPECT_FALSE(undoEnabled());

  wxString summary;
  wxTEST_DIALOG(View().ImportFile(path), answer(wxID_YES), ReadBox(summary));
  EXPECT_TRUE(summary.Contains("Imported 600 hosts")) << summary;
  ASSERT_EQ(View().GetItemCount(), 602);
  EXPECT_EQ(Cell(3, 0), "h1001");
  EXPECT_TRUE(Contains("[h1599]\nHost=h1599\n"));
  EXPECT_TRUE(undoEnabled());

  wxTEST_DIALOG(Command(ID_HOST_UNDO_IMPORT), answer(wxID_YES));
  EXPECT_TRUE(question.StartsWith("Remove the 600 hosts the last import added")) << question;
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "gamma"}));
  EXPECT_EQ(FileText(), before);
  EXPECT_FALSE(undoEnabled());

  std::ofstream(path, std::ios::binary) << "host\n" << std::string(3, '\0');
  wxTEST_DIALOG(View().ImportFile(path), ReadBox(summary));
  EXPECT_TRUE(summary.Contains("was not imported: no host was added")) << summary;
  EXPECT_TRUE(summary.Contains("line 2 holds the control character 0x00")) << summary;
  EXPECT_EQ(View().GetItemCount(), 2);
}

TEST_F(HostListWindow, HeaderClicksSortHostZToAFirstAndOtherColumnsAscending) {
  Open("[a]\nHost=a\n[b]\nHost=b\n[c]\nHost=c\n");
  Select(0);
  ClickHeader(0);
  EXPECT_EQ(HostColumn(), (Texts{"c", "b", "a"}));
  EXPECT_EQ(SelectedHost(), "a") << "the selection stays with its host";
  ClickHeader(0);
  EXPECT_EQ(HostColumn(), (Texts{"a", "b", "c"}));
  // b answered always, c half the time, a never probed.
  Feed(1, 0, 5);
  Feed(2, 0, 5);
  Feed(2, 610, 0);
  View().ProcessTick();
  ClickHeader(4);
  EXPECT_EQ(HostColumn(), (Texts{"a", "c", "b"}));
  ClickHeader(4);
  EXPECT_EQ(HostColumn(), (Texts{"b", "c", "a"}));
  ClickHeader(5);
  EXPECT_EQ(HostColumn().back(), "a") << "hosts without replies go last by minimum";
  Feed(2, 610, 0);
  View().ProcessTick();
  EXPECT_EQ(Cell(2, 8), "Request timed out.") << "a result finds its host's row after a sort";
}

TEST_F(HostListWindow, ClosingWaitsForEveryProbeInFlight) {
  std::atomic<int> finished{0};
  scheduler_ = std::make_unique<ProbeScheduler>(
      mailbox_,
      [&](const ProbeRequest&, ProbeResult& result) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        result.ResultCode = 610;
        finished.fetch_add(1);
        return 610;
      },
      PopupSender{}, TestClock(StartDetachedThread));
  Open(kTwoHosts);
  View().ProcessTick();
  View().ProcessTick();
  ASSERT_EQ(scheduler_->OutstandingProbes, 2);
  // The window goes on painting meanwhile and says what it waits for.
  std::vector<wxString> painted;
  wxStatusBar* status = frame_->GetStatusBar();
  status->Bind(wxEVT_PAINT, [&](wxPaintEvent& event) {
    painted.push_back(status->GetStatusText());
    event.Skip();
  });
  CloseFrame();
  EXPECT_EQ(finished.load(), 2);
  EXPECT_EQ(scheduler_->OutstandingProbes, 0);
  EXPECT_FALSE(scheduler_->SchedulingEnabled);
  EXPECT_EQ(mailbox_.Take(), nullptr);
  EXPECT_NE(std::find(painted.begin(), painted.end(), "Waiting for 2 probes to finish..."),
            painted.end())
      << painted.size() << " paints";
}

TEST_F(HostListWindow, OptionsAreKeptInTheProfileAndSetHowManyProbesATickStarts) {
  scheduler_ = std::make_unique<ProbeScheduler>(
      mailbox_, [](const ProbeRequest&, ProbeResult& result) { return result.ResultCode = 610; },
      PopupSender{}, TestClock(StartDetachedThread));
  Open("[a]\nHost=a\n[b]\nHost=b\n[c]\nHost=c\n[d]\nHost=d\n");
  for (const auto& [text, button] : {std::pair<const char*, int>{"3", wxID_OK}, {"7", wxID_CANCEL}})
    wxTEST_DIALOG(Command(ID_VIEW_OPTIONS),
                  testing::ExpectDialog<COptionsDialog>([&](auto& dialog) {
                    dialog.ProbesPerSecondField()->Text()->SetValue(text);
                    return button;
                  }));
  View().ProcessTick();
  EXPECT_EQ(scheduler_->OutstandingProbes, 3) << "from the next tick on";
  EXPECT_NE(testing::FileText(profilePath_).find("[Options]\nProbesPerSecond=3\n"),
            std::string::npos)
      << "stored at once";
  for (const auto& [stored, perTick] : {std::pair("3", 3), {"5000", 500}, {"-4", 1}}) {
    CloseFrame();
    scheduler_->SetProbesPerTick(2);
    std::ofstream(profilePath_) << "[Options]\nProbesPerSecond=" << stored << "\n";
    Open();
    EXPECT_EQ(scheduler_->ProbesPerTick(), perTick) << "read at the start: " << stored;
  }
}

TEST(TraySummary, WorstStatusCountsAndOutagesLongestDownFirst) {
  const std::tuple<std::vector<std::int32_t>, StatusImage, const char*> cases[] = {
      {{}, StatusImage::Empty, "No hosts"},
      {{0, 0}, StatusImage::Ok, "2 OK, 0 WARNING, 0 ERROR"},
      {{0, 1, 0}, StatusImage::Warning, "2 OK, 1 WARNING, 0 ERROR"},
      {{2, 1, 7, 0}, StatusImage::Error, "1 OK, 1 WARNING, 1 ERROR"}};
  for (const auto& [statuses, picture, tooltip] : cases) {
    testing::FakeHostRows rows;
    for (const std::int32_t status : statuses) rows.Add().Status = status;
    const StatusCounts counts = CountStatuses(rows);
    EXPECT_EQ(WorstStatus(counts), picture) << tooltip;
    EXPECT_EQ(CountsText(counts), tooltip);
  }
  testing::FakeHostRows rows;
  for (const CalendarTime since : {300, 0, 100, 200}) {
    HostRecord& host = rows.Add();
    std::tie(host.Host, host.Status, host.OutageStart) =
        std::tuple("h" + std::to_string(since), StatusError, since);
  }
  rows.RecordAt(3).Status = StatusWarning;  // back from ERROR, the outage not over
  std::size_t more = 0;
  const auto outages = CurrentOutages(rows, 2, more);
  ASSERT_EQ(outages.size(), 2u);
  EXPECT_EQ(std::tie(outages[0].host, outages[1].host, more),
            std::tuple("h100", "h300", std::size_t{1}))
      << "the unknown start last, the host in WARNING not at all";
  const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(OutageText({1, "b&w", 1'000'000'000}, 300), "b&w, down since 2001-09-09 01:46:40");
  EXPECT_EQ(OutageText({1, "b&w", 0}, 300), "b&w");
  zone.empty() ? ::unsetenv("TZ") : ::setenv("TZ", zone.c_str(), 1);
  ::tzset();
}

TEST_F(HostListWindow, TrayFollowsStatusesAtTheTickAndItsOutageLineShowsTheHost) {
  Open(
      "[alpha]\nHost=alpha\nFailPeriod=0\nSuccessPeriod=0\n[gamma]\nHost=gamma\nSuccessPeriod=0\n");
  TrayStatus& tray = *frame_->Tray();
  // The frame's own one-second timer.
  const auto showsAfterTick = [&](const wxString& tooltip, StatusImage picture) {
    testing::Eventually([&] { return tray.Tooltip() == tooltip; });
    EXPECT_EQ(tray.Tooltip(), tooltip);
    EXPECT_EQ(tray.Picture(), picture);
  };
  showsAfterTick("0 OK, 2 WARNING, 0 ERROR", StatusImage::Warning);
  for (int run = 0; run < 2; ++run) {  // a run in WARNING ends with its second result
    Feed(0, 610, 0);
    Feed(1, 0, 0);
  }
  showsAfterTick("1 OK, 0 WARNING, 1 ERROR", StatusImage::Error);
  std::unique_ptr<wxMenu> menu(tray.CreatePopupMenu());
  const auto items = menu->GetMenuItems();
  const auto outage = std::find_if(items.begin(), items.end(), [](const wxMenuItem* item) {
    return item->GetItemLabelText().StartsWith("alpha, down since ");
  });
  ASSERT_NE(outage, items.end());
  wxCommandEvent choose(wxEVT_MENU, (*outage)->GetId());
  tray.ProcessEvent(choose);
  EXPECT_EQ(View().GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), 0);
  Feed(0, 0, 0);
  showsAfterTick("2 OK, 0 WARNING, 0 ERROR", StatusImage::Ok);
}

// A box is a Tab stop only for a control in it that is one: otherwise the
// focus rests on the box itself, where nothing shows it.
TEST_F(HostListWindow, SettingsDialogHasNoTabStopOnABoxWithoutOne) {
  Open("");
  Settings(ID_HOST_ADD, [](CHostSettingsDialog& dialog) {
    int boxes = 0;
    for (wxWindow* child : dialog.GetChildren()) {
      if (!dynamic_cast<wxStaticBox*>(child)) continue;
      ++boxes;
      const auto& inside = child->GetChildren();
      EXPECT_EQ(child->AcceptsFocusFromKeyboard(),
                std::any_of(inside.begin(), inside.end(),
                            [](wxWindow* field) { return field->CanAcceptFocusFromKeyboard(); }))
          << child->GetLabel();
    }
    EXPECT_EQ(boxes, 4);
    return static_cast<int>(wxID_CANCEL);
  });
}

TEST_F(HostListWindow, DoubleClickEditsAndTextThatIsNotUtf8IsShownAsLatin1AndKept) {
  Open("[cafe]\nHost=cafe\nDescription=caf\xE9 au lait\n");
  EXPECT_EQ(Cell(0, 1), wxString::FromUTF8("caf\xC3\xA9 au lait"));
  wxWindow* rows = &Rows();
  wxMouseEvent click(wxEVT_LEFT_DCLICK);
  click.SetEventObject(rows);
  rows->ProcessWindowEvent(click);  // no row selected: no dialog
  Select(0);
  wxTEST_DIALOG(rows->ProcessWindowEvent(click), ExpectSettings([](CHostSettingsDialog& dialog) {
                  EXPECT_EQ(dialog.HostField()->GetValue(), "cafe");
                  dialog.DelayField()->SetValue(20);
                  return PressOk(dialog);
                }));
  EXPECT_TRUE(Contains("Description=caf\xE9 au lait\n")) << FileText();
  EXPECT_TRUE(Contains("Delay=20\n"));
}

}  // namespace
}  // namespace kelvoran
