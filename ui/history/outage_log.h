#pragma once

#include <wx/frame.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "history/change_pages.h"
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
  // Every change of the range and host chosen, read to the end.
  const std::vector<LoggedChange>& Shown();
  bool ExportShown(const wxString& path);

 private:
  void FillHostChoice(HistoryTime from, HistoryTime to);
  const std::string* ChosenHost() const;
  void ReadAlertsOfPage(HistoryTime oldest, HistoryTime newest);
  void ReadQualityOfPage(HistoryTime oldest, HistoryTime newest);
  void ReadRoutesOfPage(HistoryTime oldest, HistoryTime newest);
  // "last answer from 10.0.3.1, hop 4" for an outage with a path recorded.
  std::string LastAnswerOf(const LoggedChange& row) const;

  const HistoryQueries queries_;
  wxChoice* range_;
  wxChoice* host_;
  ChangeList* list_;
  std::unique_ptr<ChangePages> pages_;  // the changes shown, read as far as scrolled
  OutageAlerts alerts_;                 // what became of the outages read so far
  // The quality changes read so far, by host, oldest first.
  std::map<std::string, std::vector<HistoryChange>> quality_;
  std::vector<std::string> hosts_;  // the host choice's, after "All hosts"
  // The outage paths' texts read so far: by host, by the time taken.
  std::map<std::string, std::map<HistoryTime, std::string>> lastAnswers_;
};

}  // namespace kelvoran
