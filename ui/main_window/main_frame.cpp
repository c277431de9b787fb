#include "ui/main_window/main_frame.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/config.h>
#include <wx/evtloop.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <limits>
#include <memory>
#include <utility>

#include "engine/host_mute.h"
#include "engine/host_record.h"
#include "engine/scheduler.h"
#include "history/history_link.h"
#include "portable/profile_text.h"
#include "route/route_planner.h"
#include "ui/dialogs/about_box.h"
#include "ui/dialogs/options_dialog.h"
#include "ui/history/alert_log_window.h"
#include "ui/history/history_window.h"
#include "ui/history/outage_log.h"
#include "ui/history/route_view.h"
#include "ui/main_window/alert_center.h"
#include "ui/main_window/command_ids.h"
#include "ui/main_window/commands.h"
#include "ui/main_window/display_text.h"
#include "ui/main_window/mute_menu.h"
#include "ui/main_window/row_report.h"
#include "ui/main_window/tessarel_view.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"
#include "ui/parts/links.h"
#include "ui/parts/menu_help_key.h"
#include "ui/tray/tray_status.h"

namespace kelvoran {
namespace {

constexpr int kTimerId = 1;
constexpr int kTickMs = 1000;
constexpr int kClosingPollMs = 100;
constexpr int kPlacementPollMs = 20;
constexpr int kPlacementPolls = 50;
const wxSize kMinimumSize(197, 180);

// Placement values under "MainWnd", with their defaults.
constexpr const char* kShowCmd = "MainWnd/showCmd";
constexpr const char* kLeft = "MainWnd/rcNormalPositionLeft";
constexpr const char* kRight = "MainWnd/rcNormalPositionRight";
constexpr const char* kTop = "MainWnd/rcNormalPositionTop";
constexpr const char* kBottom = "MainWnd/rcNormalPositionBottom";
constexpr const char* kFlags = "MainWnd/flags";
// Beside the other options; off when missing.
constexpr const char* kMinimiseToTray = "Options/MinimiseToTray";
// Set in the stored flags when a minimised window goes back to maximised.
constexpr long kRestoreToMaximized = 2;

enum StatusPane : int { PaneMessage, PaneCaps, PaneNum, PaneScroll, PaneCount };

// The toolbar's buttons in order; their tooltips and prompts are the
// commands' own.
struct ToolLayout {
  int id;
  ToolbarImage image;
};
constexpr ToolLayout kTools[] = {
    {ID_HOST_ADD, ToolbarImage::AddHost},        {ID_HOST_EDIT, ToolbarImage::EditHost},
    {ID_HOST_DELETE, ToolbarImage::DeleteHost},  {wxID_SEPARATOR, ToolbarImage::AddHost},
    {ID_HOST_RESET, ToolbarImage::ResetResults}, {ID_HOST_HISTORY, ToolbarImage::History},
    {wxID_SEPARATOR, ToolbarImage::AddHost},     {ID_HELP_WEBSITE, ToolbarImage::Website},
    {ID_HELP_EMAIL, ToolbarImage::Email},        {wxID_SEPARATOR, ToolbarImage::AddHost},
    {ID_APP_ABOUT, ToolbarImage::About},
};

void YieldForPainting() {
  // Closed before the main loop ran (or after it ended), there is no active
  // loop to yield in.
  std::unique_ptr<wxEventLoopBase> temporary;
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  if (!loop) {
    temporary.reset(wxTheApp->GetTraits()->CreateEventLoop());
    loop = temporary.get();
  }
  loop->YieldFor(wxEVT_CATEGORY_UI);
}

}  // namespace

CMainFrame::CMainFrame(ProbeScheduler& scheduler, wxConfigBase& profile,
                       const std::string& settingsPath, const wxString& title)
    : wxFrame(nullptr, wxID_ANY, title),
      scheduler_(scheduler),
      profile_(profile),
      timer_(this, kTimerId) {
  placementTimer_.Bind(wxEVT_TIMER, &CMainFrame::OnPlacementTimer, this);
  SetIcons(AppIcons());
  CreateMenuBar();
  CreateToolBarWithImages();
  CreateStatusBarPanes();
  view_ = new CTessarelView(this, scheduler, settingsPath);
  BindViewCommands();
  SetMinSize(kMinimumSize);
  RestoreWindowPlacement();
  ApplyStoredOptions(profile_, scheduler_);
  tray_ = new TrayStatus(
      *this, [this] { ShowFromTray(); }, *view_);

  Bind(wxEVT_TIMER, &CMainFrame::OnTimer, this, kTimerId);
  Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
  Bind(wxEVT_ICONIZE, &CMainFrame::OnIconize, this);
  Bind(wxEVT_SIZE, &CMainFrame::OnSizeOrMove, this);
  Bind(wxEVT_MOVE, &CMainFrame::OnSizeOrMove, this);
  Bind(wxEVT_MENU_HIGHLIGHT, &CMainFrame::OnMenuHighlight, this);
  Bind(wxEVT_MENU_CLOSE, [this](wxMenuEvent& event) {
    highlightedCommand_ = wxID_NONE;
    event.Skip();
  });
  Bind(wxEVT_CHAR_HOOK, &CMainFrame::OnHelpKey, this);
  timer_.Start(kTickMs);
}

CMainFrame::~CMainFrame() {
  timer_.Stop();
  if (tray_) tray_->Remove();
}

void CMainFrame::CreateMenuBar() {
  constexpr int kSeparator = kMenuSeparator;
  auto* host = new wxMenu;
  AppendCommands(
      *host, {ID_HOST_ADD, ID_HOST_EDIT, ID_HOST_DELETE, ID_HOST_DELETE_WITH_HISTORY, kSeparator,
              ID_HOST_RESET, ID_HOST_HISTORY, ID_HOST_TRACE_ROUTE, kSeparator, ID_HOST_IMPORT,
              ID_HOST_UNDO_IMPORT, ID_HOST_EXPORT, kSeparator, ID_APP_EXIT});
  // Mute and Mute all after Trace route, before the import commands.
  size_t historyAt = 0;
  host->FindChildItem(ID_HOST_TRACE_ROUTE, &historyAt);
  host->Insert(historyAt + 1, ID_HOST_MUTE, "&Mute", MakeMuteMenu(MuteTarget::Hosts));
  host->Insert(historyAt + 2, ID_LIST_MUTE, "Mute a&ll", MakeMuteMenu(MuteTarget::List));
  auto* view = new wxMenu;
  AppendCommands(*view, {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_MINIMISE_TO_TRAY, kSeparator,
                         ID_VIEW_OUTAGES, ID_VIEW_COLUMNS, kSeparator, ID_VIEW_ALERT_CHANNELS,
                         ID_VIEW_ALERT_LOG, kSeparator, ID_VIEW_OPTIONS});
  view->Check(ID_VIEW_MINIMISE_TO_TRAY, profile_.ReadBool(kMinimiseToTray, false));
  auto* help = new wxMenu;
  AppendCommands(*help,
                 {ID_HELP_CONTENTS, kSeparator, ID_HELP_WEBSITE, ID_HELP_EMAIL, ID_APP_ABOUT});

  auto* bar = new wxMenuBar;
  bar->Append(host, "&Host");
  bar->Append(view, "&View");
  bar->Append(help, "&Help");
  SetMenuBar(bar);
  WatchMenuHelpKey(*bar, [](int id) { RequestHelp(MenuHelpContext(id)); });

  for (int id : {ID_APP_EXIT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_MINIMISE_TO_TRAY,
                 ID_VIEW_OPTIONS, ID_HELP_CONTENTS, ID_HELP_WEBSITE, ID_HELP_EMAIL, ID_APP_ABOUT})
    Bind(wxEVT_MENU, &CMainFrame::OnFrameCommand, this, id);
  Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateBarCheck, this, ID_VIEW_TOOLBAR);
  Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateBarCheck, this, ID_VIEW_STATUS_BAR);
}

void CMainFrame::OnFrameCommand(wxCommandEvent& event) {
  switch (event.GetId()) {
    case ID_APP_EXIT:
      Close();
      break;
    case ID_VIEW_TOOLBAR:
      ToggleBar(GetToolBar());
      break;
    case ID_VIEW_STATUS_BAR:
      ToggleBar(GetStatusBar());
      break;
    case ID_VIEW_MINIMISE_TO_TRAY:
      profile_.Write(kMinimiseToTray, event.IsChecked());
      profile_.Flush();
      break;
    case ID_VIEW_OPTIONS:
      if (const auto notice = EditOptions(this, profile_, scheduler_, history_, metrics_, routes_))
        ShowNotice(*notice);
      break;
    case ID_HELP_CONTENTS:
      RequestHelp(kMainWindowHelpContext);
      break;
    case ID_HELP_WEBSITE:
      OpenLink(kMakerHomePage);
      break;
    case ID_HELP_EMAIL:
      OpenLink(kMakerMailLink);
      break;
    case ID_APP_ABOUT:
      ShowAboutBox(this, 0);
      break;
    default:
      event.Skip();
      break;
  }
}

void CMainFrame::ToggleBar(wxWindow* bar) {
  bar->Show(!bar->IsShown());
  SendSizeEvent();
}

void CMainFrame::OnUpdateBarCheck(wxUpdateUIEvent& event) {
  const wxWindow* bar = event.GetId() == ID_VIEW_TOOLBAR ? static_cast<wxWindow*>(GetToolBar())
                                                         : static_cast<wxWindow*>(GetStatusBar());
  event.Check(bar->IsShown());
}

void CMainFrame::CreateToolBarWithImages() {
  wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT | wxTB_DOCKABLE, ID_VIEW_TOOLBAR);
  for (const ToolLayout& tool : kTools) {
    if (tool.id == wxID_SEPARATOR) {
      bar->AddSeparator();
      continue;
    }
    // GTK only fades a disabled button's image; ours is drawn grey.
    const char* prompt = CommandTextOf(tool.id).prompt;
    bar->AddTool(tool.id, prompt, ToolbarBitmap(tool.image),
                 ToolbarBitmap(tool.image, ArtLook::Disabled), wxITEM_NORMAL, prompt, prompt);
  }
  bar->Realize();
}

void CMainFrame::CreateStatusBarPanes() {
  wxStatusBar* bar = CreateStatusBar(PaneCount, wxSTB_DEFAULT_STYLE, ID_VIEW_STATUS_BAR);
  const int widths[PaneCount] = {-1, FromDIP(40), FromDIP(40), FromDIP(40)};
  bar->SetStatusWidths(PaneCount, widths);
  SetStatusText("Ready", PaneMessage);
  UpdateKeyIndicators();
}

void CMainFrame::UpdateKeyIndicators() {
  struct Indicator {
    wxKeyCode key;
    const char* text;
    int pane;
  };
  static constexpr Indicator kIndicators[] = {{WXK_CAPITAL, "CAP", PaneCaps},
                                              {WXK_NUMLOCK, "NUM", PaneNum},
                                              {WXK_SCROLL, "SCRL", PaneScroll}};
  wxStatusBar* bar = GetStatusBar();
  for (const Indicator& indicator : kIndicators) {
    const wxString text = wxGetKeyState(indicator.key) ? indicator.text : "";
    if (bar->GetStatusText(indicator.pane) != text) bar->SetStatusText(text, indicator.pane);
  }
}

void CMainFrame::BindViewCommands() {
  Bind(wxEVT_MENU, &CTessarelView::OnAdd, view_, ID_HOST_ADD);
  Bind(wxEVT_MENU, &CTessarelView::OnEdit, view_, ID_HOST_EDIT);
  Bind(wxEVT_MENU, &CTessarelView::OnDelete, view_, ID_HOST_DELETE);
  Bind(wxEVT_MENU, &CTessarelView::OnDeleteWithHistory, view_, ID_HOST_DELETE_WITH_HISTORY);
  Bind(wxEVT_MENU, &CTessarelView::OnReset, view_, ID_HOST_RESET);
  Bind(wxEVT_MENU, &CTessarelView::OnImport, view_, ID_HOST_IMPORT);
  Bind(wxEVT_MENU, &CTessarelView::OnUndoImport, view_, ID_HOST_UNDO_IMPORT);
  Bind(wxEVT_MENU, &CTessarelView::OnExport, view_, ID_HOST_EXPORT);
  Bind(wxEVT_MENU, &CTessarelView::OnChooseColumns, view_, ID_VIEW_COLUMNS);
  Bind(wxEVT_UPDATE_UI, &CTessarelView::OnUpdateNeedsOneSelected, view_, ID_HOST_EDIT);
  Bind(wxEVT_UPDATE_UI, &CTessarelView::OnUpdateNeedsOneSelected, view_, ID_HOST_DELETE);
  Bind(wxEVT_UPDATE_UI, &CTessarelView::OnUpdateNeedsOneSelected, view_,
       ID_HOST_DELETE_WITH_HISTORY);
  Bind(wxEVT_UPDATE_UI, &CTessarelView::OnUpdateNeedsRows, view_, ID_HOST_RESET);
  Bind(wxEVT_UPDATE_UI, &CTessarelView::OnUpdateNeedsRows, view_, ID_HOST_EXPORT);
  Bind(wxEVT_UPDATE_UI, &CTessarelView::OnUpdateUndoImport, view_, ID_HOST_UNDO_IMPORT);
  Bind(wxEVT_MENU, &CTessarelView::OnMute, view_, ID_HOST_MUTE_15_MINUTES, ID_LIST_UNMUTE);
  Bind(wxEVT_UPDATE_UI, &CTessarelView::OnUpdateNeedsOneSelected, view_, ID_HOST_MUTE_15_MINUTES,
       ID_HOST_UNMUTE);
  Bind(wxEVT_MENU, &CMainFrame::OnHistory, this, ID_HOST_HISTORY);
  Bind(wxEVT_MENU, &CMainFrame::OnTraceRoute, this, ID_HOST_TRACE_ROUTE);
  Bind(
      wxEVT_UPDATE_UI,
      [this](wxUpdateUIEvent& event) {
        event.Enable(routes_ && history_ && view_->SelectedRecord() != nullptr);
      },
      ID_HOST_TRACE_ROUTE);
  Bind(wxEVT_MENU, &CMainFrame::OnOutages, this, ID_VIEW_OUTAGES);
  Bind(wxEVT_MENU, &CMainFrame::OnAlertChannels, this, ID_VIEW_ALERT_CHANNELS);
  Bind(wxEVT_MENU, &CMainFrame::OnAlertLog, this, ID_VIEW_ALERT_LOG);
  for (const int id : {ID_VIEW_ALERT_CHANNELS, ID_VIEW_ALERT_LOG})
    Bind(
        wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) { event.Enable(alerts_ != nullptr); }, id);
  Bind(
      wxEVT_UPDATE_UI,
      [this](wxUpdateUIEvent& event) {
        event.Enable(history_ != nullptr && view_->SelectedRecord() != nullptr);
      },
      ID_HOST_HISTORY);
  Bind(
      wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) { event.Enable(history_ != nullptr); },
      ID_VIEW_OUTAGES);
}

void CMainFrame::SetHistory(HistoryLink* history) {
  history_ = history;
  view_->SetHistory(history);
  if (history) ApplyStoredHistoryBudget(profile_, *history);
}

void CMainFrame::SetAlerts(AlertCenter* alerts) {
  alerts_ = alerts;
  view_->SetAlerts(alerts);
}

void CMainFrame::SetMetrics(MetricsEndpoint* metrics) {
  metrics_ = metrics;
  if (const auto notice = ApplyStoredMetricsPort(profile_, *metrics)) ShowNotice(*notice);
}

void CMainFrame::ShowNotice(const std::string& text) {
  SetStatusText(ToDisplay(text), PaneMessage);
}

void CMainFrame::OnTimer(wxTimerEvent& /*event*/) {
  const auto now = std::chrono::steady_clock::now();
  if (lastTick_)
    tickLag_ = std::max(std::chrono::steady_clock::duration{},
                        now - *lastTick_ - std::chrono::milliseconds(kTickMs));
  lastTick_ = now;
  view_->ProcessTick();
  if (const auto notice = view_->TakeDependencyNotices()) ShowNotice(*notice);
  UpdateKeyIndicators();
  if (history_)
    if (const auto notice = history_->TakeNotice()) ShowNotice(*notice);
  PassOnAlertAttempts();
  UpdateTray();
  // The notification area went away (its host ended) while the window was
  // hidden in it: back to an ordinary minimised window, or it is lost.
  if (InTray() && !tray_->InNotificationArea()) {
    inTray_ = false;
    Iconize();
    Show();
  }
}

// On a change of status, or once the list's mute began, changed or ended:
// counting the statuses each tick would cost a pass over the rows.
void CMainFrame::UpdateTray() {
  if (!tray_) return;
  const CalendarTime listMute = view_->Mutes() ? view_->Mutes()->ListMutedUntil() : 0;
  const bool muteChanged = std::exchange(trayListMute_, listMute) != listMute;
  if (view_->TakeStatusesChanged() || muteChanged) tray_->Update();
}

void CMainFrame::OnIconize(wxIconizeEvent& event) {
  event.Skip();
  // GTK reports a window hidden while minimised as no longer minimised: only
  // ShowFromTray ends its stay in the notification area.
  if (!event.IsIconized() || !tray_ || !GetMenuBar()->IsChecked(ID_VIEW_MINIMISE_TO_TRAY) ||
      !tray_->InNotificationArea())
    return;
  inTray_ = true;
  // Hidden once the window manager has finished minimising it.
  CallAfter([this] {
    if (inTray_) Hide();
  });
}

void CMainFrame::OnSizeOrMove(wxEvent& event) {
  // Only the restored rectangle is remembered, never a maximised or
  // minimised one, nor where the window manager put the window before it was
  // given its stored rectangle.
  if (placement_ == Placement::Placed && !IsMaximized() && !IsIconized())
    restoredRect_ = RectOnScreen();
  event.Skip();
}

void CMainFrame::OnMenuHighlight(wxMenuEvent& event) {
  highlightedCommand_ = event.GetMenuId();
  event.Skip();
}

void CMainFrame::OnHelpKey(wxKeyEvent& event) {
  if (event.GetKeyCode() != WXK_F1 || event.HasAnyModifiers()) {
    event.Skip();
    return;
  }
  const int context =
      highlightedCommand_ > 0 ? MenuHelpContext(highlightedCommand_) : kMainWindowHelpContext;
  RequestHelp(context);
}

void CMainFrame::RestoreWindowPlacement() {
  const wxPoint topLeft(static_cast<int>(profile_.ReadLong(kLeft, 0)),
                        static_cast<int>(profile_.ReadLong(kTop, 0)));
  const wxPoint bottomRight(static_cast<int>(profile_.ReadLong(kRight, 700)),
                            static_cast<int>(profile_.ReadLong(kBottom, 500)));
  restoredRect_ = wxRect(topLeft, wxSize(bottomRight.x - topLeft.x, bottomRight.y - topLeft.y));
  // A rectangle from a hand-edited profile may be inside out or tiny.
  wxSize size = restoredRect_.GetSize();
  size.IncTo(kMinimumSize);
  restoredRect_.SetSize(size);
  SetSize(restoredRect_);
}

void CMainFrame::ShowWithStoredState(std::function<void()> whenShown) {
  whenShown_ = std::move(whenShown);
  ShowForPlacement();
}

void CMainFrame::OnMapped() {
  if (placement_ != Placement::Unplaced) return;
  SetSize(restoredRect_);
  // Asked of the X server, not awaited as events: wx reports no move or size
  // that matches what it was last told.
  StartPlacementStep(Placement::Placing);
}

void CMainFrame::StartPlacementStep(Placement step) {
  placement_ = step;
  placementPolls_ = 0;
  placementTimer_.Start(kPlacementPollMs);
}

void CMainFrame::OnPlacementTimer(wxTimerEvent& /*event*/) {
  // A window manager may keep the window elsewhere (off the screen, say) or
  // not maximise it: each step ends after a while regardless.
  const bool given = ++placementPolls_ >= kPlacementPolls;
  if (placement_ == Placement::Placing && (given || RectOnScreen() == restoredRect_)) {
    restoredRect_ = RectOnScreen();
    ApplyStoredShowState();
  } else if (placement_ == Placement::Settling && (given || InStoredShowState())) {
    placementTimer_.Stop();
    placement_ = Placement::Placed;
    // Moves and sizes before now were not taken (they may have been the
    // placement's own); one the operator made meanwhile would be lost.
    if (!IsMaximized() && !IsIconized()) restoredRect_ = RectOnScreen();
    if (whenShown_) CallAfter(std::exchange(whenShown_, {}));
  }
}

long CMainFrame::StoredShowState() const {
  const long showCmd = profile_.ReadLong(kShowCmd, ShowMaximized);
  // Windows' minimising show states: minimised, minimise, minimised inactive.
  return showCmd == 6 || showCmd == 7 ? ShowMinimized : showCmd;
}

void CMainFrame::ApplyStoredShowState() {
  StartPlacementStep(Placement::Settling);
  if (StoredShowState() == ShowMaximized) Maximize();
  if (StoredShowState() == ShowMinimized) Iconize();
}

bool CMainFrame::InStoredShowState() const {
  if (StoredShowState() == ShowMaximized) return IsMaximized();
  if (StoredShowState() == ShowMinimized) return IsIconized();
  return true;
}

void CMainFrame::SaveWindowPlacement() {
  const long showCmd =
      IsIconized() || InTray() ? ShowMinimized : (IsMaximized() ? ShowMaximized : ShowNormal);
  profile_.Write(kShowCmd, showCmd);
  profile_.Write(kLeft, static_cast<long>(restoredRect_.GetLeft()));
  profile_.Write(kRight, static_cast<long>(restoredRect_.GetLeft() + restoredRect_.GetWidth()));
  profile_.Write(kTop, static_cast<long>(restoredRect_.GetTop()));
  profile_.Write(kBottom, static_cast<long>(restoredRect_.GetTop() + restoredRect_.GetHeight()));
  profile_.Write(kFlags, IsIconized() && IsMaximized() ? kRestoreToMaximized : 0L);
  view_->OptionalColumns().Save(profile_);
  profile_.Flush();
}

void CMainFrame::OnClose(wxCloseEvent& event) {
  // A second close request during the closing wait (the close box again,
  // SIGTERM) finds the first one under way.
  if (closing_) {
    if (event.CanVeto()) event.Veto();
    return;
  }
  closing_ = true;
  placementTimer_.Stop();
  // The icon's window would keep the program running once the frame is gone.
  std::exchange(tray_, nullptr)->Remove();
  SaveWindowPlacement();
  WaitForProbesInFlight();
  timer_.Stop();
  if (!rowReportPath_.empty()) WriteRowReport(*view_, rowReportPath_);
  Destroy();
  // The frame goes at the next idle time; the wait's yielding may have used up
  // the wake-up that would bring it, and a hidden window gets no more events.
  wxWakeUpIdle();
}

void CMainFrame::WaitForProbesInFlight() {
  // Every probe started must have its result applied (a host may still enter
  // ERROR and send its popup) before the list and its records go.
  scheduler_.SchedulingEnabled = false;
  while (scheduler_.OutstandingProbes != 0) {
    view_->ProcessTick();
    const int inFlight = scheduler_.OutstandingProbes;
    if (inFlight != 0)
      SetStatusText(inFlight == 1
                        ? wxString("Waiting for 1 probe to finish...")
                        : wxString::Format("Waiting for %d probes to finish...", inFlight),
                    PaneMessage);
    // The window goes on painting, a probe may take up to its time-out to
    // come back; the operator's input waits, this window is on its way out.
    YieldForPainting();
    wxMilliSleep(kClosingPollMs);
  }
  DropHeldBackInput();
}

void CMainFrame::OnHistory(wxCommandEvent& /*event*/) {
  const HostRecord* host = view_->SelectedRecord();
  if (!history_ || !host) return;
  // The history knows a host by its section, as the settings file does.
  for (wxWindow* child : GetChildren())
    if (auto* open = dynamic_cast<HistoryWindow*>(child);
        open && ProfileText::SameSectionName(open->Host(), host->Host)) {
      open->Raise();
      return;
    }
  (new HistoryWindow(this, host->Host, history_->Queries()))->Show();
}

void CMainFrame::SetRoutes(RoutePlanner* routes) {
  routes_ = routes;
  view_->SetRoutes(routes);
  view_->SetTraceRouteAvailable(routes_ && history_);
  // The planner tells its observers at the end of a tick, which this
  // window's timer drives: none comes once the window has gone.
  if (routes_) routes_->AddObserver([this](const RouteTrace& trace) { RouteRecorded(trace); });
}

// The history writes the path a moment later: open windows take it in now.
// A history window's Route page takes an outage's path or the one asked for,
// not a baseline, which would move the user's choice every hour.
void CMainFrame::RouteRecorded(const RouteTrace& trace) {
  for (wxWindow* child : GetChildren()) {
    if (auto* open = dynamic_cast<RouteWindow*>(child)) open->RouteRecorded(trace);
    auto* history = dynamic_cast<HistoryWindow*>(child);
    if (history && trace.Reason != RouteReason::Baseline &&
        ProfileText::SameSectionName(history->Host(), trace.Host))
      history->Routes().TakeIn(trace);
  }
}

// Opens (or raises) the host's route window, and asks for its path anew.
void CMainFrame::OnTraceRoute(wxCommandEvent& /*event*/) {
  const HostRecord* host = view_->SelectedRecord();
  if (!routes_ || !history_ || !host) return;
  const std::string name = host->Host;
  routes_->TraceNow(name);
  for (wxWindow* child : GetChildren())
    if (auto* open = dynamic_cast<RouteWindow*>(child);
        open && ProfileText::SameSectionName(open->Host(), name)) {
      open->Raise();
      return;
    }
  RoutePlanner* routes = routes_;
  (new RouteWindow(
       this, name, history_->Queries(), [routes, name] { routes->TraceNow(name); },
       [routes, name] { return routes->Tracing(name); }))
      ->Show();
}

void CMainFrame::OnOutages(wxCommandEvent& /*event*/) {
  if (!history_) return;
  for (wxWindow* child : GetChildren())
    if (auto* open = dynamic_cast<OutageLog*>(child)) {
      open->Reload();
      open->Raise();
      return;
    }
  (new OutageLog(this, history_->Queries()))->Show();
}

void CMainFrame::PassOnAlertAttempts() {
  if (!alerts_) return;
  const std::vector<AlertLogEntry> entries = alerts_->TakeNewEntries();
  if (!entries.empty())
    for (wxWindow* child : GetChildren())
      if (auto* log = dynamic_cast<AlertLogWindow*>(child)) log->Add(entries);
  // Several channels failing at once share the line, rather than each
  // hiding the one before.
  std::string notices;
  while (const auto notice = alerts_->TakeNotice())
    notices += (notices.empty() ? "" : "  ") + *notice;
  if (!notices.empty()) ShowNotice(notices);
  if (!tray_) return;
  std::string failing;
  for (const std::string& channel : alerts_->FailingChannels())
    failing += (failing.empty() ? "" : ", ") + channel;
  tray_->SetAlertTrouble(
      failing.empty() ? wxString() : "Alert channels failing: " + wxString::FromUTF8(failing));
}

void CMainFrame::OnAlertChannels(wxCommandEvent& /*event*/) {
  if (alerts_)
    alerts_->Edit(this, [this](const std::map<std::string, std::string>& renamed) {
      view_->RenameAlertChannels(renamed);
    });
}

void CMainFrame::OnAlertLog(wxCommandEvent& /*event*/) {
  for (wxWindow* child : GetChildren())
    if (auto* open = dynamic_cast<AlertLogWindow*>(child)) {
      open->Raise();
      return;
    }
  AlertLogReader reader;
  if (history_)
    reader = [queries = history_->Queries()](CalendarTime from) {
      if (!queries.alertLog) return std::vector<AlertLogEntry>{};
      return queries.alertLog(from * 1000, std::numeric_limits<HistoryTime>::max(), {})
          .value_or(std::vector<AlertLogEntry>{});
    };
  auto* log = new AlertLogWindow(this, reader);
  log->CentreOnParent();
  log->Show();
}

}  // namespace kelvoran
