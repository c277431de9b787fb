#include "ui/history/outage_log.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <functional>
#include <map>

#include "engine/host_record.h"
#include "engine/quality_watch.h"
#include "history/csv_export.h"
#include "platform/local_time.h"
#include "route/route_compare.h"
#include "ui/history/alert_log_window.h"
#include "ui/history/history_text.h"
#include "ui/main_window/display_text.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

constexpr HistoryTime kHour = 3'600'000, kDay = 24 * kHour;
struct RangeChoice {
  const char* label;
  HistoryTime span;
};
constexpr RangeChoice kRanges[] = {{"Last 24 hours", kDay},
                                   {"Last 7 days", 7 * kDay},
                                   {"Last 30 days", 30 * kDay},
                                   {"Last year", 365 * kDay}};
constexpr int kDefaultRange = 1;
// A choice is as wide as its longest item: an unshortened long host name
// pushed Export past the window's edge, out of reach of pointer and Tab.
constexpr int kHostChoiceWidth = 240;

}  // namespace

// A virtual list: a hundred thousand changes cost no more to show than a
// screenful, as the rows are written only when drawn.
class ChangeList : public wxListCtrl {
 public:
  // `rows` reads on as far as the row asked for: only what is drawn is read.
  using RowSource = std::function<const LoggedChange*(std::size_t)>;
  // The quality changes read so far, by host, oldest first.
  using QualityByHost = std::map<std::string, std::vector<HistoryChange>>;
  using LastAnswer = std::function<std::string(const LoggedChange&)>;
  ChangeList(wxWindow* parent, RowSource rows, const OutageAlerts& alerts,
             const QualityByHost& quality, LastAnswer lastAnswer)
      : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, parent->FromDIP(wxSize(-1, 300)),
                   wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL),
        rows_(std::move(rows)),
        alerts_(alerts),
        quality_(quality),
        lastAnswer_(std::move(lastAnswer)) {
    // All within the window's width: a column past its edge goes unseen.
    AppendColumn("Time", wxLIST_FORMAT_LEFT, FromDIP(150));
    AppendColumn("Host", wxLIST_FORMAT_LEFT, FromDIP(130));
    AppendColumn("From", wxLIST_FORMAT_LEFT, FromDIP(75));
    AppendColumn("To", wxLIST_FORMAT_LEFT, FromDIP(75));
    AppendColumn("Lasted", wxLIST_FORMAT_LEFT,
                 FittingWidth({DurationText(3'599'000), DurationText(86'399'000)}, 70));
    AppendColumn("Cause", wxLIST_FORMAT_LEFT, FromDIP(170));
    // Beside the cause: a time-out says nothing of where the way broke.
    AppendColumn("Last answer", wxLIST_FORMAT_LEFT,
                 FittingWidth({"last answer from 198.188.188.188, hop 30"}, 235));
    AppendColumn("Alerts", wxLIST_FORMAT_LEFT, FromDIP(150));
    AppendColumn("Quality", wxLIST_FORMAT_LEFT, FromDIP(100));
  }
  // Room for the widest of the samples in the list's font, and at least
  // `minimum` (in DIPs).
  int FittingWidth(std::initializer_list<wxString> samples, int minimum) const {
    int widest = FromDIP(minimum);
    for (const wxString& sample : samples)
      widest = std::max(widest, GetTextExtent(sample).x + FromDIP(16));
    return widest;
  }
  void ShowRows(std::size_t count) {
    SetItemCount(static_cast<long>(count));
    Refresh();
  }

 private:
  wxString OnGetItemText(long item, long column) const override {
    // Past the end when changes counted were cut by age before being read.
    const LoggedChange* read = rows_(static_cast<std::size_t>(item));
    if (!read) return {};
    const LoggedChange& row = *read;
    switch (column) {
      case 0:
        return LocalTimeText(row.change.time);
      case 1:
        return ToDisplay(row.change.host);
      case 2:
        return StatusName(row.change.before);
      case 3:
        return StatusName(row.change.after);
      case 4:
        return row.lasted ? DurationText(row.lasted) : wxString("until now");
      case 5:
        return ToDisplay(row.change.text);
      case 6:
        return wxString::FromUTF8(lastAnswer_(row));
      case 7:
        return AlertsOf(row.change);
      default:
        return QualityOf(row.change);
    }
  }

  // The quality alerts raised when the status changed.
  wxString QualityOf(const HistoryChange& change) const {
    const auto host = quality_.find(change.host);
    if (host == quality_.end()) return {};
    return QualityFlagsText(static_cast<std::uint8_t>(QualityFlagsAt(host->second, change.time)));
  }

  // An outage's alerts stand on the change that began it.
  wxString AlertsOf(const HistoryChange& change) const {
    if (change.after != StatusError) return {};
    const auto told = alerts_.find({change.host, change.time / 1000});
    return told == alerts_.end() ? wxString() : wxString::FromUTF8(told->second);
  }

  const RowSource rows_;
  const OutageAlerts& alerts_;
  const QualityByHost& quality_;
  const LastAnswer lastAnswer_;
};

OutageLog::OutageLog(wxWindow* parent, HistoryQueries queries)
    : wxFrame(parent, wxID_ANY, "Outages", wxDefaultPosition, FromDIP(wxSize(1280, 480), parent),
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT),
      queries_(std::move(queries)) {
  SetIcons(AppIcons());
  auto* panel = new wxPanel(this);
  const int gap = FromDIP(8), labelGap = FromDIP(6);
  range_ = new wxChoice(panel, wxID_ANY);
  for (const RangeChoice& choice : kRanges) range_->Append(choice.label);
  range_->SetSelection(kDefaultRange);
  host_ = new wxChoice(panel, wxID_ANY);
  auto* exportButton = new wxButton(panel, wxID_ANY, "&Export CSV...");
  list_ = new ChangeList(
      panel, [this](std::size_t row) { return pages_ ? pages_->Row(row) : nullptr; }, alerts_,
      quality_, [this](const LoggedChange& row) { return LastAnswerOf(row); });

  auto* bar = new wxBoxSizer(wxHORIZONTAL);
  bar->Add(new wxStaticText(panel, wxID_ANY, "&Range:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
           labelGap);
  bar->Add(range_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 2 * labelGap);
  bar->Add(new wxStaticText(panel, wxID_ANY, "H&ost:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
           labelGap);
  bar->Add(host_, 0, wxALIGN_CENTER_VERTICAL);
  bar->AddStretchSpacer();
  bar->Add(exportButton, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, gap);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(bar, 0, wxEXPAND | wxALL, gap);
  column->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, gap);
  panel->SetSizer(column);

  // Either choice reads the changes again: a host chosen in a window left
  // open for a while shows its changes up to now, not as they were at opening.
  for (wxChoice* choice : {range_, host_})
    choice->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Reload(); });
  AnswerHelpKey(*this, kOutagesWindowHelpContext);
  exportButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    const wxString path = AskCsvPath(this, "Export Outages", "outages.csv");
    if (!path.empty()) ExportShown(path);
  });
  Reload();
}

void OutageLog::Reload() {
  const HistoryTime now = queries_.now();
  // The change before the range's first one of each host is not needed: a
  // duration runs from a change to the host's next, never backwards.
  // The status bar says when the history could not be read.
  const HistoryTime from = now - kRanges[range_->GetSelection()].span;
  FillHostChoice(from, now + 1);
  const std::string* host = ChosenHost();
  alerts_.clear();
  quality_.clear();
  lastAnswers_.clear();
  pages_ = std::make_unique<ChangePages>(queries_, from, now + 1,
                                         host ? std::optional(*host) : std::nullopt);
  pages_->onPage = [this](HistoryTime oldest, HistoryTime newest) {
    ReadAlertsOfPage(oldest, newest);
  };
  pages_->Row(0);  // the first page, with its alerts, before the list asks
  list_->ShowRows(pages_->Count());
}

// An outage's alerts are attempted from its start on: those of the outages
// that began within the page, read by their start.
void OutageLog::ReadAlertsOfPage(HistoryTime oldest, HistoryTime newest) {
  alerts_.merge(
      ReadOutageAlerts(queries_, 0, ChosenHost(), std::pair(oldest / 1000, newest / 1000)));
  ReadQualityOfPage(oldest, newest);
  ReadRoutesOfPage(oldest, newest);
}

// The paths taken as the page's outages began: each within moments of its
// start, so an hour past the page's newest change takes in the last one's.
void OutageLog::ReadRoutesOfPage(HistoryTime oldest, HistoryTime newest) {
  constexpr HistoryTime kTakenWithin = kHour;
  if (!queries_.routes) return;
  const auto read = queries_.routes(oldest, newest + kTakenWithin, ChosenHost());
  if (!read) return;
  for (const RouteTrace& trace : *read)
    if (trace.Reason == RouteReason::Outage)
      lastAnswers_[trace.Host].emplace(trace.Taken * 1000, LastAnswerText(trace));
}

// The first outage path taken from the outage's start until its end.
std::string OutageLog::LastAnswerOf(const LoggedChange& row) const {
  if (row.change.after != StatusError) return {};
  const auto host = lastAnswers_.find(row.change.host);
  if (host == lastAnswers_.end()) return {};
  const auto taken = host->second.lower_bound(row.change.time);
  if (taken == host->second.end() || (row.lasted && taken->first >= row.change.time + *row.lasted))
    return {};
  return taken->second;
}

// The quality changes of the page, and of a day before it: enough to tell
// the flags in force at each change of status but for a rule raised more
// than a day before the change and not changed since.
void OutageLog::ReadQualityOfPage(HistoryTime oldest, HistoryTime newest) {
  constexpr HistoryTime kLookBack = kDay;
  if (!queries_.qualityChanges) return;
  const auto read = queries_.qualityChanges(oldest - kLookBack, newest + 1, ChosenHost());
  if (!read) return;
  std::map<std::string, std::vector<HistoryChange>> page;
  for (auto change = read->rbegin(); change != read->rend(); ++change)
    page[change->host].push_back(*change);
  for (auto& [host, changes] : page) {
    std::vector<HistoryChange>& kept = quality_[host];
    kept.insert(kept.end(), changes.begin(), changes.end());
    std::sort(kept.begin(), kept.end(),
              [](const HistoryChange& a, const HistoryChange& b) { return a.time < b.time; });
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
  }
}

const std::string* OutageLog::ChosenHost() const {
  const int chosen = host_->GetSelection();
  return chosen > 0 ? &hosts_[static_cast<std::size_t>(chosen - 1)] : nullptr;
}

void OutageLog::FillHostChoice(HistoryTime from, HistoryTime to) {
  const std::string chosenHost = ChosenHost() ? *ChosenHost() : "";
  hosts_ = queries_.changedHosts ? queries_.changedHosts(from, to).value_or(hosts_) : hosts_;
  host_->Clear();
  host_->Append("All hosts");
  host_->SetSelection(0);
  wxClientDC dc(host_);
  dc.SetFont(host_->GetFont());
  // Shortened in the middle, where names of one network tend to differ.
  for (const std::string& host : hosts_) {
    const int item = host_->Append(
        wxControl::Ellipsize(ToDisplay(host), dc, wxELLIPSIZE_MIDDLE, FromDIP(kHostChoiceWidth)));
    if (!chosenHost.empty() && host == chosenHost) host_->SetSelection(item);
  }
  // The whole name of the host chosen, which its item may show only in part.
  host_->SetToolTip(ChosenHost() ? ToDisplay(*ChosenHost()) : wxString());
}

const std::vector<LoggedChange>& OutageLog::Shown() {
  static const std::vector<LoggedChange> none;
  return pages_ ? pages_->All() : none;
}

bool OutageLog::ExportShown(const wxString& path) {
  return WriteCsvFile(this, path, [this](std::ostream& out) {
    WriteChangesCsv(out, Shown(), IsoTimeWriter(LocalUtcOffset),
                    [this](const LoggedChange& row) { return LastAnswerOf(row); });
  });
}

}  // namespace kelvoran
