#include "ui/history/latency_graph.h"

#include <wx/dcbuffer.h>
#include <wx/graphics.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/host_record.h"
#include "history/range_summary.h"
#include "ui/history/history_text.h"

namespace kelvoran {
namespace {

// In DIPs.
constexpr int kLeftMargin = 60, kRightMargin = 12, kTopMargin = 10, kBottomMargin = 34;
constexpr int kFailureMark = 6, kQualityStrip = 6;

wxColour BandColour(std::int32_t status) {
  switch (status) {
    case StatusOk:
      return {206, 236, 206};
    case StatusWarning:
      return {250, 236, 176};
    default:
      return {246, 196, 196};
  }
}

// A round number at or above `value`, for the top of the round-trip scale:
// 1, 2 or 5 times a power of ten.
std::uint32_t ScaleTop(std::uint32_t value) {
  for (std::uint64_t power = 1;; power *= 10)
    for (const std::uint64_t step : {1u, 2u, 5u})
      if (step * power >= value) return static_cast<std::uint32_t>(step * power);
}

double Y(const wxRect& plot, std::uint32_t roundTrip, std::uint32_t top) {
  return plot.GetBottom() - static_cast<double>(roundTrip) * (plot.height - 1) / top;
}

class Painter {
 public:
  Painter(wxGraphicsContext& gc, const wxRect& plot) : gc_(gc), plot_(plot) {}

  void Bands(const std::vector<PlotColumn>& columns) {
    gc_.SetPen(*wxTRANSPARENT_PEN);
    for (std::size_t start = 0; start < columns.size();) {
      std::size_t end = start + 1;
      while (end < columns.size() && columns[end].band == columns[start].band) ++end;
      if (columns[start].band >= 0) {
        gc_.SetBrush(BandColour(columns[start].band));
        gc_.DrawRectangle(plot_.x + static_cast<double>(start), plot_.y,
                          static_cast<double>(end - start), plot_.height);
      }
      start = end;
    }
  }

  // Where a quality alert was raised: a strip along the top of the plot.
  void QualityStrip(const std::vector<TimeSpan>& spans, HistoryTime from, HistoryTime to,
                    int height) {
    gc_.SetPen(*wxTRANSPARENT_PEN);
    gc_.SetBrush(wxColour(150, 90, 190));
    const double scale = static_cast<double>(plot_.width) / static_cast<double>(to - from);
    for (const TimeSpan& span : spans) {
      const double left = static_cast<double>(span.from - from) * scale;
      const double width = std::max(1.0, static_cast<double>(span.to - span.from) * scale);
      gc_.DrawRectangle(plot_.x + left, plot_.y, width, height);
    }
  }

  // The spread of each column's round trips, joined into one line from
  // column to column; a column of failures, or one where the program was not
  // running (no status), breaks the line.
  void RoundTrips(const std::vector<PlotColumn>& columns, std::uint32_t top) {
    wxGraphicsPath path = gc_.CreatePath();
    bool drawing = false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const PlotColumn& column = columns[i];
      if (!column.HasRoundTrip()) {
        if (column.failures > 0 || column.band < 0) drawing = false;
        continue;
      }
      const double x = plot_.x + static_cast<double>(i) + 0.5;
      if (!drawing) path.MoveToPoint(x, Y(plot_, column.maxRoundTrip, top));
      path.AddLineToPoint(x, Y(plot_, column.maxRoundTrip, top));
      path.AddLineToPoint(x, Y(plot_, column.minRoundTrip, top) + 0.5);
      drawing = true;
    }
    gc_.SetPen(wxPen(wxColour(30, 80, 170), 1));
    gc_.StrokePath(path);
  }

  void Failures(const std::vector<PlotColumn>& columns, int mark) {
    gc_.SetPen(wxPen(wxColour(200, 30, 30), 1));
    const double bottom = plot_.GetBottom() + 1.0;
    for (std::size_t i = 0; i < columns.size(); ++i)
      if (columns[i].failures > 0)
        gc_.StrokeLine(plot_.x + static_cast<double>(i) + 0.5, bottom,
                       plot_.x + static_cast<double>(i) + 0.5, bottom + mark);
  }

  void Frame() {
    gc_.SetPen(wxPen(wxColour(120, 120, 120), 1));
    gc_.SetBrush(*wxTRANSPARENT_BRUSH);
    gc_.DrawRectangle(plot_.x, plot_.y, plot_.width - 1, plot_.height - 1);
  }

 private:
  wxGraphicsContext& gc_;
  const wxRect plot_;
};

// The scale's and the times' labels, through the DC itself. GDI+, the
// graphics context on Windows, draws text only in an installed font family,
// and a window's default font there is "MS Shell Dlg", a name that only GDI
// resolves: through the context the labels measured nothing and drew nothing.
void AxisLabels(wxDC& dc, const wxRect& plot, HistoryTime from, HistoryTime to, std::uint32_t top,
                int failureMark, int rightMargin) {
  dc.SetTextForeground(wxColour(60, 60, 60));
  const int gap = dc.FromDIP(6);
  for (const std::uint32_t value : {top, top / 2, 0u}) {
    const wxString text = wxString::Format("%u ms", value);
    const wxSize size = dc.GetTextExtent(text);
    dc.DrawText(text, plot.x - size.x - gap, static_cast<int>(Y(plot, value, top)) - size.y / 2);
  }
  const HistoryTime span = to - from;
  for (const double share : {0.0, 0.5, 1.0}) {
    const wxString text =
        TimeAxisText(from + static_cast<HistoryTime>(share * static_cast<double>(span)), span);
    const int width = dc.GetTextExtent(text).x;
    const int x = std::clamp(plot.x + static_cast<int>(share * plot.width) - width / 2, 0,
                             std::max(0, plot.GetRight() - width + rightMargin));
    dc.DrawText(text, x, plot.GetBottom() + failureMark + gap * 2 / 3);
  }
}

}  // namespace

LatencyGraph::LatencyGraph(wxWindow* parent, RangeChanged onRangeChanged,
                           std::function<HistoryTime()> now)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(600, 240), parent),
               wxFULL_REPAINT_ON_RESIZE),
      onRangeChanged_(std::move(onRangeChanged)),
      now_(std::move(now)) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetBackgroundColour(*wxWHITE);
  Bind(wxEVT_PAINT, &LatencyGraph::OnPaint, this);
  Bind(wxEVT_MOUSEWHEEL, &LatencyGraph::OnWheel, this);
  for (const auto type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_MOTION})
    Bind(type, &LatencyGraph::OnMouse, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { dragX_ = -1; });
}

void LatencyGraph::SetSamples(std::span<const HistorySample> samples) {
  columns_ = [samples](HistoryTime from, HistoryTime to, int width) {
    return PlotColumns(samples, from, to, width);
  };
}

void LatencyGraph::SetSummaries(std::span<const HistorySummary> summaries,
                                std::span<const HistoryChange> changes) {
  columns_ = [summaries, changes](HistoryTime from, HistoryTime to, int width) {
    return PlotSummaryColumns(summaries, changes, from, to, width);
  };
}

void LatencyGraph::SetRange(HistoryTime from, HistoryTime to) {
  from_ = from;
  to_ = std::max(to, from + kNarrowest);
  Refresh();
}

wxRect LatencyGraph::PlotRect() const {
  const wxSize size = GetClientSize();
  const int left = FromDIP(kLeftMargin), top = FromDIP(kTopMargin);
  return {left, top, std::max(1, size.x - left - FromDIP(kRightMargin)),
          std::max(1, size.y - top - FromDIP(kBottomMargin))};
}

void LatencyGraph::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(wxBrush(GetBackgroundColour()));
  dc.Clear();
  const wxRect plot = PlotRect();
  const std::vector<PlotColumn> columns =
      columns_ ? columns_(from_, to_, plot.width) : std::vector<PlotColumn>{};
  std::uint32_t highest = 1;
  for (const PlotColumn& column : columns)
    if (column.HasRoundTrip()) highest = std::max(highest, column.maxRoundTrip);
  const std::uint32_t top = ScaleTop(highest);
  {
    // Ended before the DC draws the labels: GDI+ may hold back its drawing
    // until then, and would lay it over them.
    const std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (!gc) return;
    Painter painter(*gc, plot);
    painter.Bands(columns);
    painter.QualityStrip(QualitySpans(qualityChanges_, from_, to_), from_, to_,
                         FromDIP(kQualityStrip));
    painter.RoundTrips(columns, top);
    painter.Failures(columns, FromDIP(kFailureMark));
    painter.Frame();
  }
  dc.SetFont(GetFont());
  AxisLabels(dc, plot, from_, to_, top, FromDIP(kFailureMark), FromDIP(kRightMargin));
}

HistoryTime LatencyGraph::TimeAt(int x) const {
  const wxRect plot = PlotRect();
  const double share = static_cast<double>(x - plot.x) / plot.width;
  return from_ + static_cast<HistoryTime>(share * static_cast<double>(to_ - from_));
}

// Nothing is recorded after now: a zoom or a pan that would show the future
// keeps its width and ends at now instead.
void LatencyGraph::MoveRange(HistoryTime from, HistoryTime to) {
  if (const HistoryTime now = now_(); to > now) {
    from -= to - now;
    to = now;
  }
  SetRange(from, to);
  if (onRangeChanged_) onRangeChanged_(from_, to_);
}

void LatencyGraph::OnWheel(wxMouseEvent& event) {
  if (event.GetWheelRotation() == 0) return;
  const double factor = event.GetWheelRotation() > 0 ? 0.8 : 1.25;
  const HistoryTime anchor = std::clamp(TimeAt(event.GetX()), from_, to_);
  const auto scaled = [&](HistoryTime distance) {
    return static_cast<HistoryTime>(static_cast<double>(distance) * factor);
  };
  MoveRange(anchor - scaled(anchor - from_), anchor + scaled(to_ - anchor));
}

void LatencyGraph::OnMouse(wxMouseEvent& event) {
  if (event.LeftDown()) {
    dragX_ = event.GetX();
    dragFrom_ = from_;
    if (!HasCapture()) CaptureMouse();
  } else if (event.LeftUp()) {
    dragX_ = -1;
    if (HasCapture()) ReleaseMouse();
  } else if (event.Dragging() && dragX_ >= 0) {
    const HistoryTime span = to_ - from_;
    const HistoryTime shift = static_cast<HistoryTime>(
        static_cast<double>(dragX_ - event.GetX()) * static_cast<double>(span) / PlotRect().width);
    MoveRange(dragFrom_ + shift, dragFrom_ + shift + span);
  }
  event.Skip();
}

}  // namespace kelvoran
