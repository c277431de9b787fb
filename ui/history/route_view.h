#pragma once

#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/timer.h>

#include <functional>
#include <string>
#include <vector>

#include "history/history_queries.h"

class wxButton;
class wxChoice;
class wxListCtrl;
class wxStaticText;

namespace kelvoran {

// A host's recorded paths to choose from, newest first, the chosen one's
// hops beside those of the last baseline before it, each hop marked where
// the two differ; the header names the last hop that answered.
class RouteBrowser : public wxPanel {
 public:
  RouteBrowser(wxWindow* parent, std::string host, HistoryQueries queries);

  // Reads the host's paths again and chooses the newest outage's, or else
  // the newest path.
  void Reload();
  // A path just recorded, not yet in the file: shown at once, and chosen.
  void TakeIn(const RouteTrace& trace);
  // Chooses the first path of an outage that began at `start` (ms) and
  // ended at `end` (none while it lasts); false when it has none.
  bool ChooseOutageAt(HistoryTime start, std::optional<HistoryTime> end);

  const std::vector<RouteTrace>& Traces() const { return traces_; }
  // The chosen path, or null; and the baseline it is compared with, or null.
  const RouteTrace* Chosen() const;
  const RouteTrace* Baseline() const { return baseline_.empty() ? nullptr : &baseline_.front(); }
  wxListCtrl& Hops() const { return *hops_; }
  wxString Header() const;

 private:
  void FillChoice();
  void Choose(int index);
  void ReadBaselineBefore(const RouteTrace& trace);
  void ShowComparison();
  void FitAddressColumn(int column);

  const std::string host_;
  const HistoryQueries queries_;
  wxChoice* choice_;
  wxStaticText* header_;
  wxListCtrl* hops_;
  std::vector<RouteTrace> traces_;    // newest first
  std::vector<RouteTrace> baseline_;  // none or one
};

// "Route to <host>": the host's paths, and a button that asks the path
// planner for a new one. The main window hands it each path recorded.
class RouteWindow : public wxFrame {
 public:
  // `traceNow` asks for a new path; `tracing` says whether one is under way.
  RouteWindow(wxWindow* parent, std::string host, HistoryQueries queries,
              std::function<void()> traceNow, std::function<bool()> tracing);

  const std::string& Host() const { return host_; }
  RouteBrowser& Browser() const { return *browser_; }
  // A path of any host was recorded: this host's is shown.
  void RouteRecorded(const RouteTrace& trace);

 private:
  void ShowTracing();

  const std::string host_;
  const std::function<void()> traceNow_;
  const std::function<bool()> tracing_;
  RouteBrowser* browser_;
  wxButton* traceButton_;
  wxStaticText* state_;
  wxTimer poll_;
};

}  // namespace kelvoran
