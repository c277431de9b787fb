#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <span>
#include <string>
#include <vector>

#include "history/history_queries.h"

class wxChoice;
class wxListCtrl;
class wxStaticText;

namespace kelvoran {

class LatencyGraph;

// One host's history: its round trips over a chosen range, with the status
// as bands and failures marked, the range's figures, its outages, and the
// range's results exported as CSV.
class HistoryWindow : public wxFrame {
 public:
  // `host`: the host's name, its bytes as the settings file holds them.
  HistoryWindow(wxWindow* parent, std::string host, HistoryQueries queries);

  const std::string& Host() const { return host_; }
  LatencyGraph& Graph() const { return *graph_; }
  // Writes the results of the range shown; false when it could not.
  bool ExportSamples(const wxString& path);

 private:
  void ChooseRange(int choice);
  void ShowRange(HistoryTime from, HistoryTime to);
  void Load(HistoryTime from, HistoryTime to);
  void UpdateDetails();
  std::span<const HistorySample> SamplesShown() const;

  const std::string host_;
  const HistoryQueries queries_;
  wxChoice* range_;
  LatencyGraph* graph_;
  wxStaticText* summary_;
  wxListCtrl* outages_;
  wxTimer detailsTimer_;
  // Results of [loadedFrom_, loadedTo_), oldest first: more than is shown,
  // so that a pan or a zoom out draws without asking the store.
  std::vector<HistorySample> loaded_;
  HistoryTime loadedFrom_ = 0, loadedTo_ = 0;
  // The last read failed: the range shown has no results to speak of.
  bool unreadable_ = false;
};

}  // namespace kelvoran
