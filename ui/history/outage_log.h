#pragma once

#include <wx/frame.h>

#include <vector>

#include "history/history_queries.h"
#include "history/range_summary.h"
#include "ui/history/alert_log_window.h"

class wxChoice;

namespace kelvoran {

class ChangeList;

// Every change of status across the list, newest first, each with how long
// the host then stayed in it: what was down, when, and for how long. Filtered
// by time range and host; the changes shown export as CSV.
class OutageLog : public wxFrame {
 public:
  OutageLog(wxWindow* parent, HistoryQueries queries);

  // Reads the changes again, as they stand now.
  void Reload();
  const std::vector<LoggedChange>& Shown() const { return shown_; }
  bool ExportShown(const wxString& path);

 private:
  void ApplyHostFilter();
  void FillHostChoice();

  const HistoryQueries queries_;
  wxChoice* range_;
  wxChoice* host_;
  ChangeList* list_;
  std::vector<LoggedChange> all_;    // the range's changes, every host
  std::vector<LoggedChange> shown_;  // those of the chosen host
  OutageAlerts alerts_;              // what became of each outage's alerts
  std::vector<std::string> hosts_;   // the host choice's, after "All hosts"
};

}  // namespace kelvoran
