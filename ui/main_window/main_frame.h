#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "engine/calendar_time.h"

class wxConfigBase;

namespace kelvoran {

class AlertCenter;
class CTessarelView;
class HistoryLink;
class MetricsEndpoint;
class ProbeScheduler;
class RoutePlanner;
struct RouteTrace;

class TrayStatus;

// The main window: menu, toolbar, status bar, the one-second timer that
// drives the monitor, and the remembered placement.
class CMainFrame : public wxFrame {
 public:
  // Windows' show states, as stored with the placement.
  enum ShowCommand : long { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3 };

  CMainFrame(ProbeScheduler& scheduler, wxConfigBase& profile, const std::string& settingsPath,
             const wxString& title);
  ~CMainFrame() override;

  CTessarelView& View() const { return *view_; }
  // Shows the window at the rectangle and with the show state stored at the
  // last close, then calls whenShown.
  void ShowWithStoredState(std::function<void()> whenShown = {});
  void SaveWindowPlacement();
  void RestoreWindowPlacement();
  // Where the rows are reported as the window closes (see row_report.h).
  void SetRowReportPath(std::string path) { rowReportPath_ = std::move(path); }
  // The history the host list records into, or null; its notices go to the
  // status bar, and without it Host > History... and View > Outages... stay
  // disabled. Not owned.
  void SetHistory(HistoryLink* history);
  // Host > Trace route... opens the selected host's route window and asks
  // for a new path; without requests (no planner) or without a history the
  // command stays disabled. Call after SetHistory.
  // Where Host > Trace route... asks for paths and whose paths the route
  // windows show; null (the default) disables the command. Not owned.
  void SetRoutes(RoutePlanner* routes);
  // A path was recorded (the planner's observer): an open route window of
  // its host shows it.
  void RouteRecorded(const RouteTrace& trace);
  // The alert channels, or null: View > Alert Channels... edits them, the
  // alert log shows their attempts, and the status bar and tray tell when one
  // fails. Not owned.
  void SetAlerts(AlertCenter* alerts);
  // Serves metrics at the profile's port from now on; the status bar tells
  // where, or why not.
  void SetMetrics(MetricsEndpoint* metrics);
  // Tells the operator something in the status bar.
  void ShowNotice(const std::string& text);
  // The icon in the notification area; null once the window is closing.
  TrayStatus* Tray() const { return tray_; }
  // Shows, restores and raises the window, hidden in the notification area
  // or not. Defined by the toolkit port (ui/gtk, ui/msw).
  void ShowFromTray();
  // Opens the selected host's history window, or raises it when open.
  void OnHistory(wxCommandEvent& event);
  void OnOutages(wxCommandEvent& event);
  void OnTraceRoute(wxCommandEvent& event);
  void OnAlertChannels(wxCommandEvent& event);
  void OnAlertLog(wxCommandEvent& event);

  // How much later than due the last tick began: its timer's period after
  // the one before.
  std::chrono::steady_clock::duration TickLag() const { return tickLag_; }

 private:
  void CreateMenuBar();
  void CreateToolBarWithImages();
  void CreateStatusBarPanes();
  void BindViewCommands();
  void OnFrameCommand(wxCommandEvent& event);
  void OnUpdateBarCheck(wxUpdateUIEvent& event);
  void ToggleBar(wxWindow* bar);
  void UpdateKeyIndicators();
  void OnTimer(wxTimerEvent& event);
  void UpdateTray();
  void PassOnAlertAttempts();
  void OnClose(wxCloseEvent& event);
  void OnIconize(wxIconizeEvent& event);
  // Hidden in the notification area, not merely minimised.
  bool InTray() const { return inTray_ && !IsShown(); }
  void OnSizeOrMove(wxEvent& event);
  void OnMenuHighlight(wxMenuEvent& event);
  void OnHelpKey(wxKeyEvent& event);
  void WaitForProbesInFlight();
  void OnMapped();
  // Where the window stands in being given its stored rectangle and state.
  enum class Placement { Unplaced, Placing, Settling, Placed };
  void StartPlacementStep(Placement step);
  void OnPlacementTimer(wxTimerEvent& event);
  long StoredShowState() const;
  void ApplyStoredShowState();
  bool InStoredShowState() const;
  // What the toolkit port does its own way (ui/gtk, ui/msw): showing the
  // window so that its stored rectangle can be applied, the outer rectangle
  // on screen, and dropping the input held back by the closing wait.
  void ShowForPlacement();
  wxRect RectOnScreen() const;
  static void DropHeldBackInput();

  ProbeScheduler& scheduler_;
  wxConfigBase& profile_;
  CTessarelView* view_;
  wxTimer timer_;
  wxRect restoredRect_;
  Placement placement_ = Placement::Unplaced;
  wxTimer placementTimer_;
  int placementPolls_ = 0;
  std::function<void()> whenShown_;
  bool closing_ = false;
  int highlightedCommand_ = wxID_NONE;
  std::string rowReportPath_;
  TrayStatus* tray_ = nullptr;
  // The list's mute as the tray last told it: its line goes once it ends.
  CalendarTime trayListMute_ = 0;
  HistoryLink* history_ = nullptr;
  RoutePlanner* routes_ = nullptr;
  AlertCenter* alerts_ = nullptr;
  MetricsEndpoint* metrics_ = nullptr;
  std::optional<std::chrono::steady_clock::time_point> lastTick_;
  std::chrono::steady_clock::duration tickLag_{};
  // Hidden in the notification area after being minimised.
  bool inTray_ = false;
};

}  // namespace kelvoran
