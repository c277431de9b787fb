#include "ui/history/history_window.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "engine/result_text.h"
#include "history/csv_export.h"
#include "history/range_summary.h"
#include "platform/local_time.h"
#include "ui/history/alert_log_window.h"
#include "ui/history/history_text.h"
#include "ui/history/latency_graph.h"
#include "ui/history/route_view.h"
#include "ui/main_window/display_text.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

constexpr HistoryTime kMinute = 60'000, kHour = 60 * kMinute, kDay = 24 * kHour;
struct RangeChoice {
  const char* label;
  HistoryTime span;
};
constexpr RangeChoice kRanges[] = {{"15 minutes", 15 * kMinute}, {"1 hour", kHour},
                                   {"24 hours", kDay},           {"7 days", 7 * kDay},
                                   {"30 days", 30 * kDay},       {"1 year", 365 * kDay}};
// Ranges up to a few days are drawn from the results themselves, longer ones
// from 5-minute summaries, and those beyond three months from hourly ones:
// either way a few hundred rows or more per pixel column of the graph.
constexpr HistoryTime kResultsUpTo = 3 * kDay, kFiveMinutesUpTo = 90 * kDay;
constexpr int kDefaultRange = 2;
// How often a graph that ends at the present takes in new results.
constexpr int kFollowEveryMs = 5000;
constexpr char kUnreadableText[] =
    "The history of this range could not be read: there is not enough memory.";

wxListCtrl* OutageList(wxWindow* parent) {
  auto* list = new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, parent->FromDIP(wxSize(-1, 130)),
                              wxLC_REPORT | wxLC_SINGLE_SEL);
  // Together narrower than the window, whose Export button they would
  // otherwise push out of sight.
  const int timeWidth = std::max(
      parent->FromDIP(140), list->GetTextExtent("2026-12-28 23:59:59").x + parent->FromDIP(16));
  list->AppendColumn("Start", wxLIST_FORMAT_LEFT, timeWidth);
  list->AppendColumn("End", wxLIST_FORMAT_LEFT, timeWidth);
  list->AppendColumn("Duration", wxLIST_FORMAT_LEFT, parent->FromDIP(80));
  list->AppendColumn("Error", wxLIST_FORMAT_LEFT, parent->FromDIP(170));
  list->AppendColumn("Alerts", wxLIST_FORMAT_LEFT, parent->FromDIP(170));
  return list;
}

}  // namespace

HistoryWindow::HistoryWindow(wxWindow* parent, std::string host, HistoryQueries queries)
    : wxFrame(parent, wxID_ANY, "History of " + ToDisplay(host), wxDefaultPosition,
              FromDIP(wxSize(760, 560), parent), wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT),
      host_(std::move(host)),
      queries_(std::move(queries)),
      detailsTimer_(this),
      followTimer_(this) {
  SetIcons(AppIcons());
  auto* pages = new wxNotebook(this, wxID_ANY);
  auto* panel = new wxPanel(pages);
  const int gap = FromDIP(8);
  range_ = new wxChoice(panel, wxID_ANY);
  for (const RangeChoice& choice : kRanges) range_->Append(choice.label);
  auto* exportButton = new wxButton(panel, wxID_ANY, "&Export CSV...");
  graph_ = new LatencyGraph(
      panel, [this](HistoryTime from, HistoryTime to) { ShowRange(from, to); }, queries_.now);
  summary_ = new wxStaticText(panel, wxID_ANY, wxEmptyString);
  outages_ = OutageList(panel);

  auto* bar = new wxBoxSizer(wxHORIZONTAL);
  bar->Add(new wxStaticText(panel, wxID_ANY, "&Range:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
           FromDIP(6));
  bar->Add(range_, 0, wxALIGN_CENTER_VERTICAL);
  bar->AddStretchSpacer();
  bar->Add(exportButton, 0, wxALIGN_CENTER_VERTICAL);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(bar, 0, wxEXPAND | wxALL, gap);
  column->Add(graph_, 1, wxEXPAND | wxLEFT | wxRIGHT, gap);
  column->Add(summary_, 0, wxEXPAND | wxALL, gap);
  column->Add(new wxStaticText(panel, wxID_ANY, "&Outages in this range:"), 0, wxLEFT | wxRIGHT,
              gap);
  column->Add(outages_, 0, wxEXPAND | wxALL, gap);
  panel->SetSizer(column);
  routes_ = new RouteBrowser(pages, host_, queries_);
  pages->AddPage(panel, "Round trips");
  pages->AddPage(routes_, "Route");

  // An outage chosen in the list is the one the Route page shows.
  outages_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
    const auto row = static_cast<std::size_t>(event.GetIndex());
    if (row < outagesShown_.size() && outagesShown_[row].start)
      routes_->ChooseOutageAt(*outagesShown_[row].start, outagesShown_[row].end);
  });
  range_->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) { ChooseRange(event.GetSelection()); });
  exportButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    const wxString path = AskCsvPath(this, "Export History", ToDisplay(host_) + " history.csv");
    if (!path.empty()) ExportSamples(path);
  });
  // Zooming sends many ranges in a row: the figures and the outages follow
  // once it pauses.
  Bind(
      wxEVT_TIMER, [this](wxTimerEvent&) { UpdateDetails(); }, detailsTimer_.GetId());
  Bind(
      wxEVT_TIMER, [this](wxTimerEvent&) { FollowThePresent(); }, followTimer_.GetId());
  followTimer_.Start(kFollowEveryMs);
  AnswerHelpKey(*this, kHistoryWindowHelpContext);
  range_->SetSelection(kDefaultRange);
  ChooseRange(kDefaultRange);
  // Never narrower than the first summary needs: a window too narrow for it
  // cut its end off.
  SetMinClientSize(pages->CalcSizeFromPage(column->GetMinSize()));
}

void HistoryWindow::ChooseRange(int choice) {
  if (choice < 0) return;
  const HistoryTime to = queries_.now();
  const HistoryTime from = to - kRanges[choice].span;
  presentAt_ = to;
  Load(from, to, to - from);
  graph_->SetRange(from, to);
  UpdateDetails();
}

void HistoryWindow::ShowRange(HistoryTime from, HistoryTime to) {
  // A range beyond what is loaded reads a margin of one range's width on
  // each side, so that the next few pans need no reading.
  const HistoryTime span = to - from;
  if (from < loadedFrom_ || to > loadedTo_ || SummarySpanFor(span) != loadedSpan_)
    Load(from - span, std::min(to + span, queries_.now() + 1), span);
  detailsTimer_.StartOnce(150);
}

HistoryTime HistoryWindow::SummarySpanFor(HistoryTime shown) const {
  if (!queries_.summaries || shown <= kResultsUpTo) return 0;
  return shown <= kFiveMinutesUpTo ? HistorySummary::kFiveMinutes : HistorySummary::kHour;
}

void HistoryWindow::Load(HistoryTime from, HistoryTime to, HistoryTime shown) {
  loadedSpan_ = SummarySpanFor(shown);
  loaded_.clear();
  loadedSummaries_.clear();
  loadedChanges_.clear();
  LoadQuality(from, to);
  if (loadedSpan_) return LoadSummaries(from, to, loadedSpan_);
  HistoryAnswer<HistorySample> read = queries_.samples(host_, from, to);
  unreadable_ = !read;
  loaded_ = read ? std::move(*read) : std::vector<HistorySample>{};
  // Nothing counts as loaded after a failure, so the next move reads again.
  loadedFrom_ = read ? from : 0;
  loadedTo_ = read ? to : 0;
  graph_->SetSamples(loaded_);
}

// A strip to draw, not figures to trust: a file without them shows none.
void HistoryWindow::LoadQuality(HistoryTime from, HistoryTime to) {
  loadedQuality_.clear();
  if (queries_.qualityChanges)
    if (auto read = queries_.qualityChanges(from - kOutageLookBack, to, &host_))
      loadedQuality_.assign(read->rbegin(), read->rend());
  graph_->SetQualityChanges(loadedQuality_);
}

void HistoryWindow::LoadSummaries(HistoryTime from, HistoryTime to, HistoryTime span) {
  // The summary that began before `from` covers its start as well.
  HistoryAnswer<HistorySummary> summaries = queries_.summaries(host_, span, from - span, to);
  HistoryAnswer<HistoryChange> changes = queries_.changes(from - kOutageLookBack, to, &host_);
  unreadable_ = !summaries || !changes;
  if (!unreadable_) {
    loadedSummaries_ = std::move(*summaries);
    loadedChanges_.assign(changes->rbegin(), changes->rend());
  }
  loadedFrom_ = unreadable_ ? 0 : from;
  loadedTo_ = unreadable_ ? 0 : to;
  graph_->SetSummaries(loadedSummaries_, loadedChanges_);
}

std::span<const HistorySummary> HistoryWindow::SummariesShown() const {
  const auto first = std::partition_point(
      loadedSummaries_.begin(), loadedSummaries_.end(),
      [this](const HistorySummary& s) { return s.start + s.span <= graph_->From(); });
  const auto last =
      std::partition_point(first, loadedSummaries_.end(),
                           [this](const HistorySummary& s) { return s.start < graph_->To(); });
  return {first, last};
}

wxString HistoryWindow::FiguresText() const {
  if (!loadedSpan_) return SummaryText(SummariseRange(SamplesShown()));
  return SummaryText(SummariseSummaries(SummariesShown())) +
         (loadedSpan_ == HistorySummary::kHour ? "\nDrawn from hourly summaries."
                                               : "\nDrawn from 5-minute summaries.");
}

// A graph moved into the past stays there; one that ends at the present (as
// every range chosen does, and a pan back to the end) moves on with it.
void HistoryWindow::FollowThePresent() {
  const HistoryTime now = queries_.now();
  if (graph_->To() < presentAt_ || now <= presentAt_) return;
  presentAt_ = now;
  const HistoryTime width = graph_->To() - graph_->From();
  graph_->SetRange(now - width, now);
  TakeInNewResults(now);
  UpdateDetails();
}

// Results are read from where the last read ended; summaries, a few hundred
// rows, are read again whole, as the last one has grown since.
void HistoryWindow::TakeInNewResults(HistoryTime now) {
  const HistoryTime width = graph_->To() - graph_->From();
  if (loadedSpan_ || unreadable_) return Load(now - 2 * width, now + 1, width);
  HistoryAnswer<HistorySample> read = queries_.samples(host_, loadedTo_, now + 1);
  if (!read) return Load(now - 2 * width, now + 1, width);
  loaded_.insert(loaded_.end(), read->begin(), read->end());
  loadedTo_ = now + 1;
  // A window left open for days keeps no more than its margin behind.
  if (const HistoryTime keepFrom = now - 2 * width; loadedFrom_ < keepFrom) {
    loaded_.erase(loaded_.begin(), std::partition_point(loaded_.begin(), loaded_.end(),
                                                        [keepFrom](const HistorySample& sample) {
                                                          return sample.time < keepFrom;
                                                        }));
    loadedFrom_ = keepFrom;
  }
  graph_->SetSamples(loaded_);
}

std::span<const HistorySample> HistoryWindow::SamplesShown() const {
  const auto byTime = [](const HistorySample& sample, HistoryTime time) {
    return sample.time < time;
  };
  const auto first = std::lower_bound(loaded_.begin(), loaded_.end(), graph_->From(), byTime);
  const auto last = std::lower_bound(first, loaded_.end(), graph_->To(), byTime);
  return {first, last};
}

void HistoryWindow::UpdateDetails() {
  const HistoryAnswer<RecordedOutage> read =
      HostOutages(queries_, host_, graph_->From(), graph_->To());
  summary_->SetLabel(unreadable_ || !read ? wxString(kUnreadableText) : FiguresText());
  // The sizer learns the new text's size: it kept the old one's, and cut a
  // longer line or a larger font.
  summary_->GetParent()->Layout();
  outagesShown_ = read.value_or(std::vector<RecordedOutage>{});
  const std::vector<RecordedOutage>& outages = outagesShown_;
  const OutageAlerts alerts = ReadOutageAlerts(queries_, graph_->From(), &host_);
  outages_->Freeze();
  outages_->DeleteAllItems();
  for (const RecordedOutage& outage : outages) {
    const long row =
        outages_->InsertItem(outages_->GetItemCount(),
                             outage.start ? LocalTimeText(*outage.start) : "before the records");
    outages_->SetItem(row, 1,
                      outage.interrupted ? wxString("not recorded")
                      : outage.end       ? LocalTimeText(*outage.end)
                                         : wxString("not OK yet"));
    // An outage not over yet has lasted until now so far.
    const HistoryTime end = outage.end.value_or(queries_.now());
    outages_->SetItem(
        row, 2,
        DurationText(outage.start && !outage.interrupted ? std::optional(end - *outage.start)
                                                         : std::nullopt));
    outages_->SetItem(row, 3, ToDisplay(outage.text));
    if (!outage.start) continue;
    const auto told = alerts.find({host_, *outage.start / 1000});
    if (told != alerts.end()) outages_->SetItem(row, 4, wxString::FromUTF8(told->second));
  }
  outages_->Thaw();
}

bool HistoryWindow::ExportSamples(const wxString& path) {
  return WriteCsvFile(this, path, [this](std::ostream& out) {
    if (loadedSpan_)
      return WriteSummariesCsv(out, host_, SummariesShown(), IsoTimeWriter(LocalUtcOffset));
    WriteSamplesCsv(out, host_, SamplesShown(), IsoTimeWriter(LocalUtcOffset),
                    [](std::int32_t code) { return ResultText(code, 0); });
  });
}

}  // namespace kelvoran
