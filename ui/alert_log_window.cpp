#include "ui/alert_log_window.h"

#include <wx/listctrl.h>
#include <wx/sizer.h>

#include <ctime>

#include "ui/art.h"
#include "ui/help_request.h"
#include "ui/history_text.h"

namespace kelvoran {
namespace {

// A week of attempts: enough to see how last night's outage was told.
constexpr CalendarTime kShownSeconds = 7 * 24 * 60 * 60;

constexpr const char* kColumns[] = {"Time", "Host", "Channel", "Alert", "Outcome", "Details"};
constexpr int kColumnWidths[] = {150, 150, 120, 80, 90, 380};

std::string LocalText(CalendarTime seconds) {
  return std::string(LocalTimeText(seconds * 1000).utf8_str());
}

const char* OutcomeText(const AlertLogEntry& entry) {
  switch (entry.outcome) {
    case AttemptOutcome::Sent:
      return "sent";
    case AttemptOutcome::Failed:
      return "failed";
    case AttemptOutcome::TimedOut:
      return "timed out";
    case AttemptOutcome::Rejected:
      return "refused";
  }
  return "";
}

}  // namespace

std::vector<std::string> AlertLogColumns(const AlertLogEntry& entry) {
  std::string details = entry.text;
  if (entry.retryAt) details += "; next try at " + LocalText(*entry.retryAt);
  if (entry.givenUp) details += "; given up";
  if (entry.late) details += " (raised before Kelvoran last closed)";
  return {LocalText(entry.at), entry.host,
          entry.channel,       entry.kind == AlertKind::Down ? "down" : "OK again",
          OutcomeText(entry),  details};
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
