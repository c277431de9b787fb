#include "ui/history/alert_log_window.h"

#include <wx/listctrl.h>
#include <wx/sizer.h>

#include <algorithm>
#include <ctime>
#include <limits>

#include "alert/alert_log_text.h"
#include "ui/history/history_text.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

// A week of attempts: enough to see how last night's outage was told.
constexpr CalendarTime kShownSeconds = 7 * 24 * 60 * 60;

constexpr const char* kColumns[] = {"Time", "Host", "Channel", "Alert", "Outcome", "Details"};
constexpr int kColumnWidths[] = {150, 150, 120, 120, 90, 380};

std::string LocalText(CalendarTime seconds) {
  return std::string(LocalTimeText(seconds * 1000).utf8_str());
}

}  // namespace

std::vector<std::string> AlertLogColumns(const AlertLogEntry& entry) {
  return AlertAttemptColumns(entry, LocalText);
}

std::string OutageAlertsText(const std::vector<AlertLogEntry>& attempts) {
  // The newest attempt of each channel and event tells where it stands; they
  // are listed in the order they were first tried.
  std::vector<const AlertLogEntry*> latest;
  for (const AlertLogEntry& entry : attempts) {
    const auto same = [&](const AlertLogEntry* seen) {
      return seen->channel == entry.channel && seen->kind == entry.kind;
    };
    if (std::none_of(latest.begin(), latest.end(), same)) latest.push_back(&entry);
  }
  std::string text;
  for (auto each = latest.rbegin(); each != latest.rend(); ++each) {
    const AlertLogEntry& entry = **each;
    const char* state = entry.outcome == AttemptOutcome::Sent   ? "sent"
                        : entry.outcome == AttemptOutcome::Held ? "held"
                        : entry.givenUp                         ? "given up"
                                                                : "trying again";
    text += (text.empty() ? "" : ", ") + entry.channel +
            (entry.kind == AlertKind::OkAgain ? " (OK again) " : " ") + state;
  }
  return text;
}

OutageAlerts ReadOutageAlerts(const HistoryQueries& queries, HistoryTime from,
                              const std::string* host,
                              std::optional<std::pair<CalendarTime, CalendarTime>> starts) {
  OutageAlerts texts;
  if (!queries.alertLog) return texts;
  AlertLogFilter filter;
  filter.host = host;
  filter.outageStarts = starts;
  std::map<std::pair<std::string, CalendarTime>, std::vector<AlertLogEntry>> byOutage;
  for (AlertLogEntry& entry :
       queries.alertLog(from, std::numeric_limits<HistoryTime>::max(), filter)
           .value_or(std::vector<AlertLogEntry>{})) {
    // A quality alert's start is its rule's, which may share a second with an
    // outage's: it is not that outage's alert.
    if (IsQualityKind(entry.kind)) continue;
    const auto key = std::pair(entry.host, entry.outageStart.utc);
    byOutage[key].push_back(std::move(entry));
  }
  for (const auto& [key, attempts] : byOutage) texts[key] = OutageAlertsText(attempts);
  return texts;
}

AlertLogWindow::AlertLogWindow(wxWindow* parent, AlertLogReader reader)
    : wxFrame(parent, wxID_ANY, "Alert Log", wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT) {
  SetIcons(AppIcons());
  list_ = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(-1, 320)),
                         wxLC_REPORT | wxLC_SINGLE_SEL);
  for (std::size_t column = 0; column < std::size(kColumns); ++column)
    list_->AppendColumn(kColumns[column], wxLIST_FORMAT_LEFT, FromDIP(kColumnWidths[column]));
  const CalendarTime now = std::time(nullptr);
  long row = 0;
  if (reader)
    for (const AlertLogEntry& entry : reader(now - kShownSeconds)) InsertRow(row++, entry);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(list_, 1, wxEXPAND);
  SetSizerAndFit(top);
  AnswerHelpKey(*this, kAlertLogHelpContext);
}

void AlertLogWindow::Add(const std::vector<AlertLogEntry>& entries) {
  for (const AlertLogEntry& entry : entries) InsertRow(0, entry);
}

void AlertLogWindow::InsertRow(long at, const AlertLogEntry& entry) {
  const std::vector<std::string> columns = AlertLogColumns(entry);
  const long row = list_->InsertItem(at, wxString::FromUTF8(columns[0]));
  for (std::size_t column = 1; column < columns.size(); ++column)
    list_->SetItem(row, static_cast<int>(column), wxString::FromUTF8(columns[column]));
}

}  // namespace kelvoran
