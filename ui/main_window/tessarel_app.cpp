#include "ui/main_window/tessarel_app.h"

#include <wx/config.h>

#include "engine/host_settings.h"
#include "notify/popup_delivery.h"
#include "platform/memory_release.h"
#include "platform/messenger_library.h"
#include "platform/system_services.h"
#include "route/route_planner.h"
#include "ui/dialogs/about_box.h"
#include "ui/dialogs/options_dialog.h"
#include "ui/main_window/alert_center.h"
#include "ui/main_window/command_ids.h"
#include "ui/main_window/main_frame.h"
#include "ui/main_window/optional_columns.h"
#include "ui/main_window/row_report.h"
#include "ui/main_window/tessarel_view.h"
#include "ui/main_window/user_profile.h"
#include "ui/parts/help_book.h"
#include "ui/parts/help_request.h"
#include "ui/tray/desktop_presenter.h"

namespace kelvoran {

wxIMPLEMENT_APP_NO_MAIN(CTessarelApp);

namespace {

constexpr const char* kFolderInUseNotice =
    "Another copy of Kelvoran is using this folder: both save the host list into the same "
    "file, and only the other copy records history.";

}  // namespace

wxString CTessarelDoc::FrameCaption() const { return title_ + " - " + kAppWindowTitle; }

CTessarelApp::CTessarelApp() = default;
CTessarelApp::~CTessarelApp() = default;

bool CTessarelApp::OnInit() {
  SetAppName("Kelvoran by Brindlecot");
  SetVendorName("Brindlecot");
  // Without the network services every probe fails with the system's own
  // error, which the list shows; the program runs on.
  StartNetworkServices();
  profile_ = OpenUserProfile();
  const std::string settingsPath = HostSettingsPath();
  // A lock file that cannot be made leaves the history to its own lock.
  folderLock_ = FileLock::Take(LockPathBeside(settingsPath), FileLock::Slot::Folder, {});
  const bool folderInUse = folderLock_.outcome() == FileLock::Outcome::Busy;
  if (!folderInUse) history_ = OpenHistory(settingsPath);
  // A second copy keeps its alert queue in memory only: the file's queue is
  // the first copy's to send.
  senders_ = std::make_unique<SystemSenders>();
  alerts_ = std::make_unique<AlertCenter>(*profile_, history_ ? history_->Alerts() : nullptr,
                                          senders_->Pointers());
  core_ = std::make_unique<MonitorCore>(SystemEchoProbe(), history_.get(), alerts_->Chain(),
                                        popupDelivery_.Senders());
  core_->Scheduler().SetEchoService(SystemEchoService());

  frame_ = new CMainFrame(core_->Scheduler(), *profile_, settingsPath, doc_.FrameCaption());
  frame_->SetHistory(history_.get());
  core_->RecordRoutes(SystemRoutePlatform());
  if (RoutePlanner* routes = core_->Routes()) ApplyStoredRouteOption(*profile_, *routes);
  frame_->SetRoutes(core_->Routes());
  frame_->SetAlerts(alerts_.get());
  if (folderInUse) frame_->ShowNotice(kFolderInUseNotice);
  SetHelpRequester([this](int context) { ShowHelp(context); });
  frame_->View().SetDependencies(&core_->Dependencies());
  frame_->View().SetMutes(&core_->Mutes());
  core_->Attach(frame_->View());
  frame_->View().InitialUpdate();
  core_->Mutes().MuteList(ReadListMute(settingsPath));
  OptionalColumnState columns;
  columns.Load(*profile_);
  frame_->View().ShowOptionalColumns(columns);
  core_->AddSink(&frame_->View().Recent());
  metrics_ =
      std::make_unique<MetricsEndpoint>(frame_->View(), core_->Scheduler().OutstandingProbes);
  // Taken at the end of a tick, which only the living window runs.
  metrics_->SetProgramFigures([this] {
    ProgramFigures figures;
    figures.tickLagSeconds = std::chrono::duration<double>(frame_->TickLag()).count();
    if (history_) figures.historyQueue = history_->WaitingResults();
    for (const auto& counts : alerts_->Dispatcher().AttemptCounts())
      figures.channels.push_back({counts.channel, counts.sent, counts.failed});
    return figures;
  });
  core_->AddSink(metrics_.get());
  frame_->SetMetrics(metrics_.get());
  SetTopWindow(frame_);
  popupDelivery_.UseMessenger(FindMessenger());
  presenter_ = std::make_unique<DesktopPresenter>(frame_);
  terminalServices_->SetPresenter(presenter_.get());
  frame_->SetRowReportPath(RowReportPathFromEnvironment());
  termination_.Install();
  // The box is centred on the window, so it waits until the window stands
  // where it was left. The call is queued on the frame, not the application: a
  // frame closed first (SIGTERM right after start) takes the call with it when
  // it is deleted, and one still being deleted gets no box.
  frame_->ShowWithStoredState([frame = frame_] {
    if (!frame->IsBeingDeleted() && !wxTheApp->IsScheduledForDestruction(frame))
      ShowAboutBox(frame, 1);
    // The box's pictures and the loading of the list are freed by now.
    ReturnFreedMemory();
  });
  return true;
}

int CTessarelApp::OnExit() {
  if (profile_) profile_->Flush();
  // The help window goes while the toolkit is still there to take it down.
  helpBook_.reset();
  return wxApp::OnExit();
}

void CTessarelApp::ShowHelp(int context) {
  if (!helpBook_) helpBook_ = std::make_unique<HelpBook>(HelpBook::BookOfThisProgram());
  helpBook_->Show(context);
}

}  // namespace kelvoran
