#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <span>
#include <string>
#include <vector>

#include "history/history_queries.h"
#include "history/range_summary.h"

class wxChoice;
class wxListCtrl;
class wxStaticText;

namespace kelvoran {

class LatencyGraph;
class RouteBrowser;

// One host's history: its round trips over a chosen range, with the status
// as bands and failures marked, the range's figures, its outages, and the
// range's results exported as CSV.
class HistoryWindow : public wxFrame {
 public:
  // `host`: the host's name, its bytes as the settings file holds them.
  HistoryWindow(wxWindow* parent, std::string host, HistoryQueries queries);

  const std::string& Host() const { return host_; }
  LatencyGraph& Graph() const { return *graph_; }
  // The Route page: the paths recorded to the host.
  RouteBrowser& Routes() const { return *routes_; }
  wxListCtrl& Outages() const { return *outages_; }
  // Writes the results of the range shown; false when it could not.
  bool ExportSamples(const wxString& path);
  // Every few seconds: a graph that ends at the present moves on with it
  // and takes in the results recorded since.
  void FollowThePresent();

 private:
  void ChooseRange(int choice);
  void ShowRange(HistoryTime from, HistoryTime to);
  // Reads [from, to) for a graph whose range is `shown` wide: its results,
  // or beyond a few days its summaries.
  void Load(HistoryTime from, HistoryTime to, HistoryTime shown);
  void LoadSummaries(HistoryTime from, HistoryTime to, HistoryTime span);
  void LoadQuality(HistoryTime from, HistoryTime to);
  HistoryTime SummarySpanFor(HistoryTime shown) const;
  void UpdateDetails();
  void TakeInNewResults(HistoryTime now);
  wxString FiguresText() const;
  std::span<const HistorySample> SamplesShown() const;
  std::span<const HistorySummary> SummariesShown() const;

  const std::string host_;
  const HistoryQueries queries_;
  wxChoice* range_;
  LatencyGraph* graph_;
  wxStaticText* summary_;
  wxListCtrl* outages_;
  RouteBrowser* routes_;
  // The outages listed, as the list shows them.
  std::vector<RecordedOutage> outagesShown_;
  wxTimer detailsTimer_;
  wxTimer followTimer_;
  // The present as the graph last reached it: a graph that still ends there
  // follows the present on.
  HistoryTime presentAt_ = 0;
  // Results of [loadedFrom_, loadedTo_), oldest first: more than is shown,
  // so that a pan or a zoom out draws without asking the store.
  std::vector<HistorySample> loaded_;
  HistoryTime loadedFrom_ = 0, loadedTo_ = 0;
  // Instead, for long ranges: the summaries over this span (0: results are
  // loaded), and the host's changes, oldest first, for the status bands.
  HistoryTime loadedSpan_ = 0;
  std::vector<HistorySummary> loadedSummaries_;
  std::vector<HistoryChange> loadedChanges_;
  // Oldest first.
  std::vector<HistoryChange> loadedQuality_;
  // The last read failed: the range shown has no results to speak of.
  bool unreadable_ = false;
};

}  // namespace kelvoran
