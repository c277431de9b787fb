#pragma once

#include <wx/app.h>

#include <memory>
#include <string>

#include "delivery/system_senders.h"
#include "engine/host_dependencies.h"
#include "engine/host_mute.h"
#include "engine/quality_watch.h"
#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "history/history_link.h"
#include "metrics/metrics_endpoint.h"
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
  ProbeScheduler& Scheduler() { return *scheduler_; }

 private:
  // Live from start-up to exit, before and after the main window.
  ResultMailbox mailbox_;
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
  ResultSinks resultSinks_;
  // Holds back the alerts of hosts behind a host that is down: the
  // scheduler's senders lead through it, so it goes after the scheduler.
  HostDependencies dependencies_;
  // The user's mutes, behind the dependencies' hold: the same.
  HostMutes mutes_{SystemClock, LocalUtcOffset};
  QualityWatch quality_;
  std::unique_ptr<ProbeScheduler> scheduler_;
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
