#pragma once

#include <wx/app.h>

#include <memory>
#include <string>

#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "ui/tessarel_doc.h"

class wxFileConfig;

namespace kelvoran {

class CMainFrame;

// The application object: starts the monitor, opens the main window and shows
// the About box once.
class CTessarelApp : public wxApp {
 public:
  CTessarelApp();
  ~CTessarelApp() override;

  bool OnInit() override;
  int OnExit() override;

  // Shows help at a context number.
  void ShowHelp(int context);

  CMainFrame* MainFrame() const { return frame_; }
  ProbeScheduler& Scheduler() { return *scheduler_; }

 private:
  void OpenProfile();

  // Lives from start-up to exit, before and after the main window.
  ResultMailbox mailbox_;
  std::unique_ptr<ProbeScheduler> scheduler_;
  std::unique_ptr<wxFileConfig> profile_;
  CTessarelDoc doc_;
  CMainFrame* frame_ = nullptr;
};

wxDECLARE_APP(CTessarelApp);

}  // namespace kelvoran
