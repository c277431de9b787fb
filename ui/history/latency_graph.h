#pragma once

#include <wx/window.h>

#include <functional>
#include <span>

#include "history/history_types.h"
#include "history/range_summary.h"

namespace kelvoran {

// One host's round trips over a time range: the status drawn as coloured
// bands behind, answered probes as the spread of round trips per pixel
// column, failed probes as marks on the time axis. The samples are reduced to
// the pixel width before drawing, so a month of one-second results draws as
// fast as an hour. The wheel zooms around the pointer; dragging pans.
class LatencyGraph : public wxWindow {
 public:
  using RangeChanged = std::function<void(HistoryTime from, HistoryTime to)>;

  // `now`: the calendar clock, the latest time the graph may show.
  LatencyGraph(wxWindow* parent, RangeChanged onRangeChanged, std::function<HistoryTime()> now);

  // The results to draw, oldest first; they must outlive the next change.
  void SetSamples(std::span<const HistorySample> samples);
  // Or summaries, oldest first, with the host's changes for the status
  // bands; likewise kept by the caller.
  void SetSummaries(std::span<const HistorySummary> summaries,
                    std::span<const HistoryChange> changes);
  // The host's quality changes, oldest first, drawn as a strip along the
  // top where a quality alert was raised; kept by the caller.
  void SetQualityChanges(std::span<const HistoryChange> changes) { qualityChanges_ = changes; }
  void SetRange(HistoryTime from, HistoryTime to);
  HistoryTime From() const { return from_; }
  HistoryTime To() const { return to_; }
  // The plot's rectangle inside the window: the axes' labels lie outside it.
  wxRect PlotRect() const;

  // A range never narrower than this, so a zoom cannot shrink it to nothing.
  static constexpr HistoryTime kNarrowest = 10'000;

 private:
  void OnPaint(wxPaintEvent& event);
  void OnWheel(wxMouseEvent& event);
  void OnMouse(wxMouseEvent& event);
  HistoryTime TimeAt(int x) const;
  void MoveRange(HistoryTime from, HistoryTime to);

  RangeChanged onRangeChanged_;
  const std::function<HistoryTime()> now_;
  // What the window's columns are made from.
  std::function<std::vector<PlotColumn>(HistoryTime from, HistoryTime to, int width)> columns_;
  std::span<const HistoryChange> qualityChanges_;
  HistoryTime from_ = 0, to_ = 1;
  int dragX_ = -1;
  HistoryTime dragFrom_ = 0;
};

}  // namespace kelvoran
