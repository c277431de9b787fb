// The real main frame, host list and settings dialog on a real X display,
// walked along a user's paths: commands arrive as events (or as real keys and
// clicks where only those show the fault), modal dialogs are answered through
// wx's testing hooks, and results come through the real mailbox and tick.
// The list's rules themselves are tables in tests/engine/host_list_rules_test.
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/html/helpctrl.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/spinbutt.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <tuple>

#include "engine/host_dependencies.h"
#include "engine/host_settings.h"
#include "engine/result_text.h"
#include "history/history_link.h"
#include "metrics/metrics_endpoint.h"
#include "metrics/metrics_server.h"
#include "metrics/password_check.h"
#include "tests/engine/fake_host_rows.h"
#include "tests/ui/main_window_test.h"
#include "tests/ui/modal_run.h"
#include "ui/dialogs/host_settings_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/dialogs/options_dialog.h"
#include "ui/main_window/command_ids.h"
#include "ui/parts/help_book.h"
#include "ui/parts/help_request.h"
#include "ui/tray/notification_box.h"
#include "ui/tray/tray_status.h"

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

// Answers a message box with `button`, keeping its title and message.
testing::ExpectDialog<wxMessageDialog> ReadBox(wxString& message, int button = wxID_OK) {
  return testing::ExpectDialog<wxMessageDialog>([&message, button](wxMessageDialog& box) {
    message = box.GetTitle() + "|" + box.GetMessage();
    return button;
  });
}

// Stands in for the history: the renames and deletions it hears, and a
// notice for the status bar.
struct HeardHistory : HistoryLink {
  void ResultApplied(const HostRecord&, const ProbeResult&, std::int32_t) override {}
  void TickEnded() override {}
  void HostRenamed(const std::string& from, const std::string& to) override {
    renames.push_back(from + " > " + to);
  }
  void HostForgotten(const std::string& host) override { forgotten.push_back(host); }
  std::optional<std::string> TakeNotice() override { return std::exchange(notice, std::nullopt); }
  HistoryQueries Queries() override { return {}; }
  std::vector<std::string> renames;
  std::vector<std::string> forgotten;
  std::optional<std::string> notice = "History recording paused.";
};

class HostListWindow : public testing::MainWindowTest {
 protected:
  void Open(const std::string& ini = "") {
    if (!ini.empty()) std::ofstream(settingsPath_) << ini;
    OpenFrame().Show();
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
  // for real, mapped and focused by the window manager.
  void WithSettingsDialog(int id, const std::function<void(CHostSettingsDialog&)>& act) {
    CHostSettingsDialog& dialog = View().SettingsDialog();
    PumpEvents(300ms);
    testing::RunModalFrom([&] { Command(id); }, dialog,
                          [&] {
                            PumpEvents(300ms);
                            act(dialog);
                          },
                          20s);
  }
  void Select(int row) { View().SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED); }
  wxString SelectedHost() {
    const long row = View().GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    return row < 0 ? wxString("(none)") : Cell(static_cast<int>(row), 0);
  }
  // Which of the host commands the toolbar, and the context menu as the frame
  // brings it up to date when it opens, offer.
  std::pair<std::vector<bool>, std::vector<bool>> Offered() {
    frame_->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    wxMenu& menu = View().PrepareContextMenu();
    menu.UpdateUI(frame_);
    std::vector<bool> tools, items;
    for (const int id : {ID_HOST_ADD, ID_HOST_EDIT, ID_HOST_DELETE, ID_HOST_RESET}) {
      tools.push_back(frame_->GetToolBar()->GetToolEnabled(id));
      items.push_back(menu.IsEnabled(id));
    }
    return {tools, items};
  }
};

constexpr const char* kTwoHosts =
    "[gamma]\nHost=gamma\nDescription=Third\n"
    "[alpha]\nHost=alpha\nDescription=First\n";
// A host added with the settings dialog's defaults.
constexpr const char* kBetaSection =
    "[beta]\nHost=beta\nTimeout=10\nDelay=10\nPacketSize=32\nFailPeriod=30\nSuccessPeriod=30\n"
    "PopupDestination=\nPopupMessage=\nDescription=Second\n";

// Results reach the cells at the tick, the tray follows, a header click sorts
// and results still find their rows, Reset asks first.
TEST_F(HostListWindow, ResultsCellsTraySortAndReset) {
  Open(
      "[alpha]\nHost=alpha\nDescription=First\nFailPeriod=0\nSuccessPeriod=0\n"
      "[gamma]\nHost=gamma\nSuccessPeriod=0\n");
  using Flags = std::vector<bool>;
  EXPECT_EQ(Offered(), std::pair(Flags{true, false, false, true}, Flags{true, false, false, true}));
  const Texts fresh{"First", "-", "0", "-", "-", "-", "-", ""};
  EXPECT_EQ(Cells(0), fresh);
  TrayStatus& tray = *frame_->Tray();
  // The frame's own one-second timer.
  const auto trayShows = [&](const wxString& tooltip, StatusImage picture) {
    testing::Eventually([&] { return tray.Tooltip() == tooltip; });
    EXPECT_EQ(std::pair(tray.Tooltip(), tray.Picture()), std::pair(tooltip, picture));
  };
  trayShows("0 OK, 2 WARNING, 0 ERROR", StatusImage::Warning);
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
  Feed(1, 0, 0);
  View().ProcessTick();
  EXPECT_EQ(Cells(0),
            (Texts{"First", "-", "3", "66.67", "< 10", "20", "40", "Request timed out."}));
  EXPECT_EQ(scheduler_->OutstandingProbes, 0);
  Feed(0, 610, 0);  // a run in WARNING ends with its second result
  Feed(1, 0, 0);
  trayShows("1 OK, 0 WARNING, 1 ERROR", StatusImage::Error);
  std::unique_ptr<wxMenu> menu(tray.CreatePopupMenu());
  const auto items = menu->GetMenuItems();
  const auto outage = std::find_if(items.begin(), items.end(), [](const wxMenuItem* item) {
    return item->GetItemLabelText().StartsWith("alpha, down since ");
  });
  ASSERT_NE(outage, items.end());
  wxCommandEvent choose(wxEVT_MENU, (*outage)->GetId());
  tray.ProcessEvent(choose);
  EXPECT_EQ(SelectedHost(), "alpha");
  EXPECT_EQ(Offered(), std::pair(Flags{true, true, true, true}, Flags{true, true, true, true}));

  ClickHeader(0);
  EXPECT_EQ(HostColumn(), (Texts{"gamma", "alpha"}));
  EXPECT_EQ(SelectedHost(), "alpha") << "the selection stays with its host";
  Feed(0, 0, 0);
  View().ProcessTick();
  EXPECT_EQ(Cell(0, 3), "3") << "a result finds its host's row after a sort";
  wxTEST_DIALOG(Command(ID_HOST_RESET), wxExpectModal<wxMessageDialog>(wxNO));
  EXPECT_EQ(Cell(1, 3), "4");
  wxTEST_DIALOG(Command(ID_HOST_RESET), wxExpectModal<wxMessageDialog>(wxYES));
  EXPECT_EQ(Cells(1), fresh);
  EXPECT_EQ(View().RecordAt(1).LastProbeTime, 0);
}

// Add, edit, rename, delete: what the dialog starts from, what reaches the
// file, the history and the row; and a save refused by the disk leaves the
// list as the next start loads it, saying so.
TEST_F(HostListWindow, AddEditRenameAndDeleteKeepListFileAndHistoryAgreed) {
  Open(std::string(kTwoHosts) +
       "; kept\nCustom=1\n[cafe]\nHost=cafe\nDescription=caf\xE9 au lait\n");
  HeardHistory history;
  const wxString notice = *history.notice;
  frame_->SetHistory(&history);
  EXPECT_EQ(Cell(1, 1), wxString::FromUTF8("caf\xC3\xA9 au lait")) << "not UTF-8: Latin-1";
  wxMouseEvent doubleClick(wxEVT_LEFT_DCLICK);
  doubleClick.SetEventObject(&Rows());
  Rows().ProcessWindowEvent(doubleClick);  // no row selected: no dialog
  Select(2);
  Settings(ID_HOST_ADD, [&](CHostSettingsDialog& dialog) {
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
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "beta", "cafe", "gamma"}));
  EXPECT_EQ(Cell(1, 1), "Second");
  EXPECT_EQ(SelectedHost(), "gamma") << "the selection stays with its host, not the new row";
  EXPECT_TRUE(Contains(kBetaSection)) << FileText();
  std::string twoByteLetters;
  for (int i = 0; i < 1023; ++i) twoByteLetters += "\xC3\xA9";
  Settings(ID_HOST_ADD, [&](CHostSettingsDialog& dialog) {
    dialog.HostField()->ChangeValue("omega");
    dialog.MessageField()->ChangeValue(wxString::FromUTF8(twoByteLetters));
    dialog.MessageField()->AppendText("x");  // past 1023 characters
    return PressOk(dialog);
  });
  EXPECT_TRUE(Contains("PopupMessage=" + twoByteLetters.substr(0, 1022) + "\n"))
      << "no more than the file reads back, and no character cut";
  // The name of another host's section is refused; the host's own is not.
  wxString refusal;
  wxTEST_DIALOG(Command(ID_HOST_ADD), ExpectSettings([&](CHostSettingsDialog& dialog) {
                  dialog.HostField()->ChangeValue(" GAMMA ");
                  wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
                  dialog.ProcessWindowEvent(ok);
                  return static_cast<int>(wxID_CANCEL);
                }),
                ReadBox(refusal));
  EXPECT_NE(refusal.find("already"), wxString::npos) << refusal;
  Feed(0, ResultResolveFailed, 0);
  View().ProcessTick();
  Select(0);
  wxTEST_DIALOG(Rows().ProcessWindowEvent(doubleClick),
                ExpectSettings([this](CHostSettingsDialog& dialog) {
                  EXPECT_FALSE(dialog.IsHostTaken("ALPHA ")) << "by the host itself";
                  EXPECT_EQ(dialog.ResultField(9)->GetValue(), "Error resolving host address.");
                  // The testing hook answers instead of showing the window;
                  // shown, the dialog follows its own host's results.
                  dialog.Show();
                  Feed(1, 0, 30);
                  View().ProcessTick();
                  EXPECT_EQ(dialog.ResultField(5)->GetValue(), "1") << "another host's result";
                  Feed(0, 0, 30);
                  View().ProcessTick();
                  EXPECT_EQ(dialog.ResultField(5)->GetValue(), "2");
                  dialog.Hide();
                  dialog.DescriptionField()->ChangeValue("Renamed");
                  dialog.PopupWhenOkBox()->SetValue(true);
                  return PressOk(dialog);
                }));
  for (const char* kept : {"Description=Renamed\nPopupWhenOk=1\n", "; kept\nCustom=1\n"})
    EXPECT_TRUE(Contains(kept)) << FileText();
  EXPECT_EQ(View().RecordAt(0).SentCount, 2u) << "the edit keeps the results";
  Feed(0, 0, 20);
  View().ProcessTick();
  EXPECT_EQ(Cell(0, 1), "Renamed");
  Select(2);
  Settings(ID_HOST_EDIT, [](CHostSettingsDialog& dialog) {
    EXPECT_FALSE(dialog.PopupWhenOkBox()->GetValue()) << "its own, not alpha's";
    dialog.HostField()->ChangeValue("");
    return PressOk(dialog);
  });
  EXPECT_EQ(Cell(2, 0), "cafe") << "an empty name is refused";
  NameAndOk(ID_HOST_EDIT, "delta");
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "beta", "delta", "gamma", "omega"}));
  EXPECT_FALSE(Contains("Host=cafe")) << FileText();
  EXPECT_TRUE(Contains("Description=caf\xE9 au lait\n")) << "its bytes kept";
  EXPECT_EQ(history.renames, std::vector<std::string>{"cafe > delta"});
  NameAndOk(ID_HOST_ADD, "ALPHA");
  EXPECT_EQ(Cell(1, 0), "ALPHA") << "after the names equal to it";
  Select(0);
  Command(ID_HOST_DELETE);
  EXPECT_EQ(View().GetSelectedItemCount(), 0);
  EXPECT_TRUE(Contains("Host=ALPHA\n")) << "the twin keeps the shared section";
  wxStatusBar& status = *frame_->GetStatusBar();
  EXPECT_TRUE(testing::Eventually([&] { return status.GetStatusText() == notice; }));
  // Delete with History asks first, No the default; No leaves all as it was.
  for (const int answer : {wxID_NO, wxID_YES}) {
    Select(4);
    wxString asked;
    long style = 0;
    wxTEST_DIALOG(Command(ID_HOST_DELETE_WITH_HISTORY),
                  testing::ExpectDialog<wxMessageDialog>([&](wxMessageDialog& box) {
                    asked = box.GetMessage();
                    style = box.GetMessageDialogStyle();
                    return answer;
                  }));
    EXPECT_TRUE(asked.StartsWith("Delete omega from the list and delete its recorded history"))
        << asked;
    EXPECT_EQ(style & (wxYES_NO | wxNO_DEFAULT), wxYES_NO | wxNO_DEFAULT);
    const bool yes = answer == wxID_YES;
    EXPECT_EQ(Contains("Host=omega"), !yes);
    EXPECT_EQ(history.forgotten,
              yes ? std::vector<std::string>{"omega"} : std::vector<std::string>{});
  }
  frame_->SetHistory(nullptr);
  CloseFrame();
  Open();
  const Texts listed{"ALPHA", "beta", "delta", "gamma"};
  EXPECT_EQ(HostColumn(), listed) << FileText();

  // A directory where the settings file should be: every write fails.
  fs::remove(settingsPath_);
  fs::create_directory(settingsPath_);
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
                      dialog.HostField()->ChangeValue("zulu");
                      return PressOk(dialog);
                    }),
                    ReadBox(shown));
    }
    EXPECT_TRUE(shown.StartsWith("Kelvoran by Brindlecot|")) << shown;
    EXPECT_NE(shown.find(settingsPath_), wxString::npos) << shown;
    EXPECT_TRUE(shown.EndsWith(said)) << shown;
    EXPECT_EQ(HostColumn(), listed) << said;
  }
}

// Import adds what is new, saved as Add saves it, and says what it skipped
// and refused; a big one asks first; Undo import takes out exactly what it
// added; a binary file adds nothing; Export writes the list back. Then
// another copy of the program changes the file.
// A host chosen to depend on: a loop is refused by name, a rename of the
// host in front follows it in the list and the file, a delete ends it.
TEST_F(HostListWindow, ADependencyIsRefusedInALoopFollowsARenameAndEndsWithADelete) {
  Open("[router]\nHost=router\n[pc]\nHost=pc\nDependsOn=router\n[ap]\nHost=ap\nDependsOn=pc\n");
  HostDependencies dependencies;
  View().SetDependencies(&dependencies);
  dependencies.Attach(View());
  EXPECT_EQ(HostColumn(), (Texts{"ap", "pc", "router"}));
  Select(2);
  wxString refusal;
  wxTEST_DIALOG(Command(ID_HOST_EDIT), ExpectSettings([&](CHostSettingsDialog& dialog) {
                  wxTextCtrl& parent = *dialog.DependsOnField();
                  EXPECT_EQ(parent.GetValue(), "");
                  parent.ChangeValue("ap");
                  wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
                  dialog.ProcessWindowEvent(ok);
                  return static_cast<int>(wxID_CANCEL);
                }),
                ReadBox(refusal));
  EXPECT_NE(refusal.find("(router -> ap -> pc -> router)"), wxString::npos) << refusal;
  wxTEST_DIALOG(Command(ID_HOST_EDIT), ExpectSettings([&](CHostSettingsDialog& dialog) {
                  dialog.DependsOnField()->ChangeValue("nosuch");
                  wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
                  dialog.ProcessWindowEvent(ok);
                  return static_cast<int>(wxID_CANCEL);
                }),
                ReadBox(refusal));
  EXPECT_NE(refusal.find("nosuch: there is no such host in the list."), wxString::npos) << refusal;
  NameAndOk(ID_HOST_EDIT, "gw");
  EXPECT_EQ(View().RecordAt(1).DependsOn, "gw");
  EXPECT_TRUE(Contains("[pc]\nHost=pc\nDependsOn=gw\n")) << FileText();
  Select(1);
  Settings(ID_HOST_EDIT, [](CHostSettingsDialog& dialog) {
    EXPECT_EQ(dialog.DependsOnField()->GetValue(), "gw");
    return static_cast<int>(wxID_CANCEL);
  });
  View().SetItemState(1, 0, wxLIST_STATE_SELECTED);
  Select(0);
  Command(ID_HOST_DELETE);
  EXPECT_EQ(HostColumn(), (Texts{"pc", "gw"})) << "a rename keeps the row's place";
  Select(1);
  Command(ID_HOST_DELETE);
  EXPECT_EQ(View().RecordAt(0).DependsOn, "");
  EXPECT_FALSE(Contains("DependsOn")) << FileText();
  EXPECT_FALSE(View().TakeDependencyNotices()) << "nothing the list cannot follow";
}

TEST_F(HostListWindow, ImportUndoExportAndAnotherCopysChanges) {
  Open(kTwoHosts);
  const std::string before = FileText();
  const std::string list = dir_.File("in.csv");
  std::ofstream(list) << "# hosts\n ALPHA ,dup\nbeta, Second\n, nameless\nzeta\nbeta\n";
  wxString summary;
  wxTEST_DIALOG(View().ImportFile(list), ReadBox(summary));
  EXPECT_EQ(summary, "Kelvoran by Brindlecot|Imported 2 hosts from " + list +
                         ".\nSkipped 2 hosts already in the list.\nRefused 1 line:\n"
                         "Line 4: no host name");
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "beta", "gamma", "zeta"}));
  EXPECT_TRUE(Contains(kBetaSection)) << FileText();
  const std::string out = dir_.File("out.csv");
  View().ExportFile(out);
  EXPECT_EQ(testing::FileText(out),
            "# Kelvoran host list: host name, description\n"
            "alpha,First\nbeta,Second\ngamma,Third\nzeta\n");
  wxTEST_DIALOG(Command(ID_HOST_UNDO_IMPORT), ReadBox(summary, wxID_YES));
  EXPECT_EQ(FileText(), before);

  std::string names;
  for (int i = 0; i < 501; ++i) names += "h" + std::to_string(1000 + i) + "\n";
  const std::string path = dir_.File("big.txt");
  std::ofstream(path) << names;
  wxString question;
  wxTEST_DIALOG(View().ImportFile(path), ReadBox(question, wxID_NO));
  EXPECT_TRUE(question.Contains("|Add 501 hosts from " + path + "?")) << question;
  EXPECT_EQ(FileText(), before);
  wxTEST_DIALOG(View().ImportFile(path), ReadBox(question, wxID_YES), ReadBox(summary));
  ASSERT_EQ(View().GetItemCount(), 503) << summary;
  wxTEST_DIALOG(Command(ID_HOST_UNDO_IMPORT), ReadBox(question, wxID_YES));
  EXPECT_TRUE(question.Contains("|Remove the 501 hosts the last import added")) << question;
  EXPECT_EQ(FileText(), before);

  std::ofstream(path, std::ios::binary) << "host\n" << std::string(3, '\0');
  wxTEST_DIALOG(View().ImportFile(path), ReadBox(summary));
  EXPECT_TRUE(summary.Contains("was not imported: no host was added")) << summary;
  EXPECT_EQ(View().GetItemCount(), 2);

  // Another copy in the same folder adds omega, removes gamma and edits
  // alpha: this copy's Add keeps all of that, says so, and on request shows
  // it, alpha keeping its results.
  Feed(0, ResultSuccess, 5);
  View().ProcessTick();
  HostRecord omega;
  omega.Host = "omega";
  HostRecord alpha(View().RecordAt(0));
  alpha.Description = "Edited elsewhere";
  ASSERT_TRUE(SaveHostSettings(omega, omega.Host, settingsPath_).ok());
  ASSERT_TRUE(SaveHostSettings(alpha, alpha.Host, settingsPath_).ok());
  ASSERT_TRUE(RemoveHostSection("gamma", nullptr, settingsPath_).ok());
  wxTEST_DIALOG(
      {
        NameAndOk(ID_HOST_ADD, "beta");
        wxTheApp->ProcessPendingEvents();
      },
      ReadBox(question, wxID_YES));
  EXPECT_NE(question.find("was changed by another program"), wxString::npos) << question;
  EXPECT_EQ(HostColumn(), (Texts{"alpha", "beta", "omega"}));
  EXPECT_EQ(Cell(0, 1), "Edited elsewhere");
  EXPECT_EQ(Cell(0, 3), "1") << "alpha keeps its results";
  for (const char* kept : {"[omega]", "[beta]", "Description=Edited elsewhere"})
    EXPECT_TRUE(Contains(kept)) << kept << "\n" << FileText();
  EXPECT_FALSE(Contains("Host=gamma")) << FileText();
}

// Real keys and clicks under a window manager: a Tab stop for each field and
// none more (a box that is one would hold the focus where nothing shows it),
// the arrows and Enter of the number fields; then a notification box and the
// help window (F1) beside the dialog, twice each: the dialog takes typing
// while they are open, and closing them as a user would (the box's OK; the
// window manager's close, Alt+F4, for help) leaves it working.
// The quality limits reach the file and come back; a value out of range is
// refused with a word, not quietly replaced by the field's last good one.
TEST_F(HostListWindow, QualityLimitsRoundTripAndAbsurdOnesAreRefused) {
  Open("[pc]\nHost=pc\n");
  Select(0);
  wxString refusal;
  wxTEST_DIALOG(Command(ID_HOST_EDIT), ExpectSettings([&](CHostSettingsDialog& dialog) {
                  dialog.QualityField(0)->Text()->ChangeValue("1");
                  dialog.QualityField(1)->Text()->ChangeValue("400");
                  wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
                  dialog.ProcessWindowEvent(ok);
                  return static_cast<int>(wxID_CANCEL);
                }),
                ReadBox(refusal));
  EXPECT_NE(refusal.find("\"1\" cannot be used for a quality alert: give 2 to 1000 probes."),
            wxString::npos)
      << refusal;
  Settings(ID_HOST_EDIT, [](CHostSettingsDialog& dialog) {
    const char* values[] = {"50", "400", "0", "30"};
    for (std::size_t i = 0; i < 4; ++i) dialog.QualityField(i)->SetValue(std::stoll(values[i]));
    return PressOk(dialog);
  });
  EXPECT_TRUE(Contains("QualityProbes=50\nSlowAboveMs=400\nJitterAboveMs=30\n")) << FileText();
  Settings(ID_HOST_EDIT, [](CHostSettingsDialog& dialog) {
    EXPECT_EQ(dialog.QualityField(0)->GetValue(), 50);
    EXPECT_EQ(dialog.QualityField(2)->GetValue(), 0);
    EXPECT_EQ(dialog.QualityField(3)->GetValue(), 30);
    return static_cast<int>(wxID_CANCEL);
  });
}

TEST_F(HostListWindow, TheSettingsDialogUnderRealKeysAndWithWindowsBesideIt) {
  HelpBook book(fs::path(KELVORAN_TEST_HELP_BOOK));
  SetHelpRequester([&](int context) { book.Show(context); });
  Open();
  using Flags = std::vector<bool>;
  EXPECT_EQ(Offered(), std::pair(Flags{true, false, false, false}, Flags{true, false, false, true}))
      << "an empty list: Reset stays in the context menu";
  wxUIActionSimulator input;
  std::vector<wxWindow*> expected, stops;
  WithSettingsDialog(ID_HOST_ADD, [&](CHostSettingsDialog& dialog) {
    expected = {dialog.HostField(),
                dialog.DescriptionField(),
                dialog.PacketSizeField()->Text(),
                dialog.TimeoutField()->Text(),
                dialog.SuccessPeriodField()->Text(),
                dialog.FailPeriodField()->Text(),
                dialog.DelayField()->Text(),
                dialog.DependsOnField(),
                dialog.DestinationField(),
                dialog.MessageField(),
                dialog.PopupWhenOkBox(),
                dialog.QualityField(0)->Text(),
                dialog.QualityField(1)->Text(),
                dialog.QualityField(2)->Text(),
                dialog.QualityField(3)->Text(),
                dialog.FindWindow(wxID_OK)};
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

  const auto shown = [&](bool help) -> wxTopLevelWindow* {
    wxFrame* frame = book.Controller() ? book.Controller()->GetFrame() : nullptr;
    if (help) return frame && frame->IsShown() ? frame : nullptr;
    for (wxWindow* window : wxTopLevelWindows)
      if (auto* box = dynamic_cast<NotificationBox*>(window)) return box;
    return nullptr;
  };
  for (const bool help : {false, true}) {
    SCOPED_TRACE(help ? "help" : "notification box");
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
          box->Move(0, 0);  // beside the dialog, as a user would drag it
        }
        PumpEvents(300ms);
        wxTopLevelWindow* beside = shown(help);
        if (!beside) continue;
        ++opened;
        if (round == 0) {
          ClickWithPointer(*dialog.HostField());
          input.Char(WXK_END);
          input.Text(help ? "2" : "1");
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
      input.Text("x");
      input.Char(WXK_RETURN);
      PumpEvents(100ms);
    });
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(typedBeside, help ? "2" : "1") << "the dialog takes keys while the window is open";
    EXPECT_FALSE(stayed);
  }
  EXPECT_EQ(HostColumn(), (Texts{"1x", "2x", "host"}));
  SetHelpRequester(nullptr);
}

// The probes per tick are kept in the profile, read back in range; closing
// waits for every probe in flight, painting what it waits for.
TEST_F(HostListWindow, OptionsSurviveARestartAndClosingWaitsForProbesInFlight) {
  std::atomic<int> finished{0};
  scheduler_ = std::make_unique<ProbeScheduler>(
      mailbox_,
      [&](const ProbeRequest&, ProbeResult& result) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        finished.fetch_add(1);
        return result.ResultCode = 610;
      },
      PopupSender{}, TestClock(StartDetachedThread));
  Open("[a]\nHost=a\n[b]\nHost=b\n[c]\nHost=c\n");
  for (const auto& [text, button] : {std::pair<const char*, int>{"2", wxID_OK}, {"7", wxID_CANCEL}})
    wxTEST_DIALOG(Command(ID_VIEW_OPTIONS),
                  testing::ExpectDialog<COptionsDialog>([&](auto& dialog) {
                    dialog.ProbesPerSecondField()->Text()->SetValue(text);
                    return button;
                  }));
  EXPECT_NE(testing::FileText(profilePath_).find("[Options]\nProbesPerSecond=2\n"),
            std::string::npos)
      << "stored at once";
  View().ProcessTick();
  ASSERT_EQ(scheduler_->OutstandingProbes, 2) << "from the next tick on";
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
  for (const auto& [stored, perTick] :
       {std::pair("50000", ProbeScheduler::kMaxProbesPerTick), {"-4", 1}}) {
    std::ofstream(profilePath_) << "[Options]\nProbesPerSecond=" << stored << "\n";
    Open();
    EXPECT_EQ(scheduler_->ProbesPerTick(), perTick) << "read at the start: " << stored;
    CloseFrame();
  }
}

// The metrics port of the Options dialog: stored, served on 127.0.0.1 from
// OK on and told in the status bar; a port another program holds is told,
// the window going on; 0 stops serving.
TEST_F(HostListWindow, OptionsServeMetricsOnTheStoredPort) {
  if (!MetricsServer::BuiltIn()) GTEST_SKIP() << "built without the metrics endpoint";
  Open("[a]\nHost=a\n");
  MetricsEndpoint metrics(View(), scheduler_->OutstandingProbes);
  frame_->SetMetrics(&metrics);
  EXPECT_FALSE(metrics.Serving()) << "off unless asked for";
  // A port of this process's own, away from the ones commonly in use.
  const int port = 20000 + static_cast<int>(wxGetProcessId() % 20000);
  const auto setPort = [&](int value) {
    wxTEST_DIALOG(Command(ID_VIEW_OPTIONS),
                  testing::ExpectDialog<COptionsDialog>([&](auto& dialog) {
                    dialog.MetricsPortField()->Text()->SetValue(std::to_string(value));
                    return wxID_OK;
                  }));
  };
  setPort(port);
  EXPECT_TRUE(metrics.Serving());
  EXPECT_NE(testing::FileText(profilePath_).find("MetricsPort=" + std::to_string(port) + "\n"),
            std::string::npos);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/metrics";
  EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(), "Metrics for Prometheus at " + url + ".");
  if (BcryptBuiltIn()) {
    // Basic auth: the name and the password's bcrypt hash stored, never the
    // password; served again with them at once.
    wxTEST_DIALOG(Command(ID_VIEW_OPTIONS),
                  testing::ExpectDialog<COptionsDialog>([&](auto& dialog) {
                    dialog.MetricsUserField()->SetValue("prom");
                    dialog.MetricsPasswordField()->SetValue("pass word");
                    return wxID_OK;
                  }));
    const std::string stored = testing::FileText(profilePath_);
    EXPECT_NE(stored.find("MetricsUser=prom\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("MetricsPasswordHash=$2b$"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("pass word"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("MetricsTls"), std::string::npos) << "written only when set";
    EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(),
              "Metrics for Prometheus at " + url + " (basic auth).");
  }

  MetricsEndpoint second(View(), scheduler_->OutstandingProbes);
  const auto problem = second.Serve({"127.0.0.1", static_cast<std::uint16_t>(port)});
  ASSERT_TRUE(problem.has_value());
  EXPECT_NE(problem->find("cannot listen on 127.0.0.1:" + std::to_string(port)), std::string::npos)
      << *problem;

  setPort(0);
  EXPECT_FALSE(metrics.Serving());
  EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(),
            "Metrics for Prometheus are no longer served.");
  CloseFrame();
  if (!BcryptBuiltIn()) return;
  // A stored hash is read as written: its "$HOME" is no variable.
  std::ofstream(profilePath_) << "[Options]\nMetricsPort=" << port
                              << "\nMetricsUser=prom\nMetricsPasswordHash=$2b$10$HOME."
                                 "fghijklmnopqrstuu5Ih9ybGfm6uG1Mj5fdLQxYTWnUd3Ska\n";
  Open();
  MetricsEndpoint stored(View(), scheduler_->OutstandingProbes);
  frame_->SetMetrics(&stored);
  EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(),
            "Metrics for Prometheus at " + url + " (basic auth).");
  CloseFrame();
}

// The tray's summary of the list: the worst status, the counts (an unknown
// status counts nowhere), and the outages longest down first.
TEST(TraySummary, WorstStatusCountsAndOutagesLongestDownFirst) {
  testing::FakeHostRows rows;
  EXPECT_EQ(std::pair(WorstStatus(CountStatuses(rows)), CountsText(CountStatuses(rows))),
            std::pair(StatusImage::Empty, wxString("No hosts")));
  rows.Add().Status = StatusOk;
  EXPECT_EQ(WorstStatus(CountStatuses(rows)), StatusImage::Ok);
  rows.Remove(0);
  for (const CalendarTime since : {300, 0, 100, 200}) {
    HostRecord& host = rows.Add();
    std::tie(host.Host, host.Status, host.OutageStart) =
        std::tuple("h" + std::to_string(since), StatusError, since);
  }
  rows.RecordAt(3).Status = StatusWarning;  // back from ERROR, the outage not over
  rows.Add().Status = 7;
  EXPECT_EQ(CountsText(CountStatuses(rows)), "0 OK, 1 WARNING, 3 ERROR");
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

}  // namespace
}  // namespace kelvoran
