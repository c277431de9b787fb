#pragma once

#include <wx/frame.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "alert/alert_dispatcher.h"
#include "history/history_queries.h"

class wxListCtrl;

namespace kelvoran {

// Reads the attempts kept since `from` (seconds), newest first.
using AlertLogReader = std::function<std::vector<AlertLogEntry>(CalendarTime from)>;

// The columns of one attempt as the alert log shows it.
std::vector<std::string> AlertLogColumns(const AlertLogEntry& entry);

// What became of an outage's alerts, from its attempts (newest first), as the
// outage lists show it: "Mail sent, Chat trying again, Mail (OK again) sent".
std::string OutageAlertsText(const std::vector<AlertLogEntry>& attempts);

// The alerts of each outage (host and start, in seconds) that were attempted
// from `from` (milliseconds) on, of one host or all, and of the outages that
// began within `starts` (seconds, both ends in) when given.
using OutageAlerts = std::map<std::pair<std::string, CalendarTime>, std::string>;
OutageAlerts ReadOutageAlerts(
    const HistoryQueries& queries, HistoryTime from, const std::string* host,
    std::optional<std::pair<CalendarTime, CalendarTime>> starts = std::nullopt);

// View > Alert Log...: every attempt to deliver an alert, newest first: when,
// which host and channel, what came of it and what happens next. New attempts
// appear as they are made while the window is open.
class AlertLogWindow : public wxFrame {
 public:
  AlertLogWindow(wxWindow* parent, AlertLogReader reader);

  // Puts attempts made since the window was filled at its top.
  void Add(const std::vector<AlertLogEntry>& entries);
  wxListCtrl* List() const { return list_; }

 private:
  void InsertRow(long at, const AlertLogEntry& entry);

  wxListCtrl* list_;
};

}  // namespace kelvoran
