#pragma once

#include <wx/app.h>

#include <memory>
#include <string>

#include "delivery/system_senders.h"
#include "history/history_link.h"
#include "metrics/metrics_endpoint.h"
#include "monitor/monitor_core.h"
#include "notify/popup_delivery.h"
#include "platform/local_time.h"
#include "platform/system_services.h"
#include "portable/file_lock.h"
#include "ui/main_window/termination_close.h"
#include "ui/main_window/tessarel_doc.h"

class wxConfigBase;

namespace kelvoran {

class AlertCenter;
class CMainFrame;
class DesktopPresenter;
class HelpBook;
class RoutePlanner;

// The application object: starts the monitor, opens the main window and shows
// the About box once.
class CTessarelApp : public wxApp {
 public:
  CTessarelApp();
  ~CTessarelApp() override;

  bool OnInit() override;
  int OnExit() override;

  // Opens the help book at the page of a context number; nothing happens
  // when there is no book or no such page.
  void ShowHelp(int context);

  CMainFrame* MainFrame() const { return frame_; }
  ProbeScheduler& Scheduler() { return core_->Scheduler(); }

 private:
  std::unique_ptr<SystemTerminalServices> terminalServices_ = MakeSystemTerminalServices();
  PopupDelivery popupDelivery_{*terminalServices_};
  std::unique_ptr<DesktopPresenter> presenter_;
  // This copy's hold on the working folder: its history is the holder's alone.
  // Held until the history has gone.
  FileLock folderLock_;
  // Null when built without history, or when another copy holds the folder.
  // Goes after the scheduler, which tells it
  // every result.
  std::unique_ptr<HistoryLink> history_;
  // The alert channels' senders and dispatcher: after the history, whose
  // file keeps their queue, and before the scheduler, which raises alerts.
  std::unique_ptr<SystemSenders> senders_;
  std::unique_ptr<AlertCenter> alerts_;
  // The scheduler and what its results reach: tells the history and the
  // alerts, so it goes before them.
  std::unique_ptr<MonitorCore> core_;
  // Reads the scheduler's count of probes under way: goes before it.
  std::unique_ptr<MetricsEndpoint> metrics_;
  std::unique_ptr<wxConfigBase> profile_;
  CTessarelDoc doc_;
  CMainFrame* frame_ = nullptr;
  // Made on the first help request, not at start-up.
  std::unique_ptr<HelpBook> helpBook_;
  TerminationClose termination_;
};

wxDECLARE_APP(CTessarelApp);

}  // namespace kelvoran
