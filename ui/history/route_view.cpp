#include "ui/history/route_view.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "portable/profile_text.h"
#include "route/route_compare.h"
#include "ui/history/history_text.h"
#include "ui/main_window/display_text.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

constexpr HistoryTime kSecond = 1000, kDay = 24 * 3600 * kSecond;
// The paths offered: those of the last three months. The baseline an old
// outage is compared with is read on its own, however old.
constexpr HistoryTime kPathsShown = 90 * kDay;
// How often the window looks whether the path asked for is still under way.
constexpr int kTracingPollMs = 500;
// The address columns' least width: an IPv4 address with a short name.
constexpr int kAddressWidth = 175;

HistoryTime TakenMs(const RouteTrace& trace) { return trace.Taken * kSecond; }

wxString Utf8(const std::string& text) { return wxString::FromUTF8(text); }

wxString ChoiceText(const RouteTrace& trace) {
  return LocalTimeText(TakenMs(trace)) + "   " + Utf8(RouteReasonText(trace.Reason)) + ": " +
         Utf8(LastAnswerText(trace));
}

// Rows that differ stand out; a hop that stopped answering most.
wxColour MarkColour(HopMark mark) {
  switch (mark) {
    case HopMark::Stopped:
      return {255, 214, 214};
    case HopMark::Same:
      return wxNullColour;
    default:
      return {255, 243, 205};
  }
}

wxString HopCell(const std::optional<RouteHop>& hop) {
  return hop ? Utf8(HopAddressText(*hop)) : wxString();
}

}  // namespace

RouteBrowser::RouteBrowser(wxWindow* parent, std::string host, HistoryQueries queries)
    : wxPanel(parent), host_(std::move(host)), queries_(std::move(queries)) {
  const int gap = FromDIP(8);
  choice_ = new wxChoice(this, wxID_ANY);
  header_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
  hops_ = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(-1, 240)),
                         wxLC_REPORT | wxLC_SINGLE_SEL);
  hops_->AppendColumn("Hop", wxLIST_FORMAT_RIGHT, FromDIP(40));
  hops_->AppendColumn("Baseline", wxLIST_FORMAT_LEFT, FromDIP(kAddressWidth));
  hops_->AppendColumn("This path", wxLIST_FORMAT_LEFT, FromDIP(kAddressWidth));
  hops_->AppendColumn("Round trip", wxLIST_FORMAT_RIGHT, FromDIP(80));
  hops_->AppendColumn("Loss", wxLIST_FORMAT_RIGHT, FromDIP(50));
  hops_->AppendColumn("Difference", wxLIST_FORMAT_LEFT, FromDIP(150));

  auto* bar = new wxBoxSizer(wxHORIZONTAL);
  bar->Add(new wxStaticText(this, wxID_ANY, "&Path:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
           FromDIP(6));
  bar->Add(choice_, 1, wxALIGN_CENTER_VERTICAL);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(bar, 0, wxEXPAND | wxALL, gap);
  column->Add(header_, 0, wxEXPAND | wxLEFT | wxRIGHT, gap);
  column->Add(hops_, 1, wxEXPAND | wxALL, gap);
  SetSizer(column);
  choice_->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) { Choose(event.GetSelection()); });
  Reload();
}

void RouteBrowser::Reload() {
  traces_.clear();
  if (queries_.routes) {
    const HistoryTime now = queries_.now();
    traces_ = queries_.routes(now - kPathsShown, now + 1, &host_).value_or(traces_);
  }
  FillChoice();
  const auto outage = std::find_if(traces_.begin(), traces_.end(), [](const RouteTrace& trace) {
    return trace.Reason == RouteReason::Outage;
  });
  Choose(traces_.empty()
             ? -1
             : static_cast<int>(outage == traces_.end() ? 0 : outage - traces_.begin()));
}

void RouteBrowser::TakeIn(const RouteTrace& trace) {
  traces_.insert(traces_.begin(), trace);
  FillChoice();
  Choose(0);
}

bool RouteBrowser::ChooseOutageAt(HistoryTime start, std::optional<HistoryTime> end) {
  // Newest first: the last one taken at or after the start is the first.
  int found = -1;
  for (std::size_t i = 0; i < traces_.size(); ++i) {
    const HistoryTime taken = TakenMs(traces_[i]);
    if (traces_[i].Reason == RouteReason::Outage && taken >= start && (!end || taken < *end))
      found = static_cast<int>(i);
  }
  if (found >= 0) Choose(found);
  return found >= 0;
}

const RouteTrace* RouteBrowser::Chosen() const {
  const int chosen = choice_->GetSelection();
  return chosen < 0 ? nullptr : &traces_[static_cast<std::size_t>(chosen)];
}

wxString RouteBrowser::Header() const { return header_->GetLabel(); }

void RouteBrowser::FillChoice() {
  choice_->Clear();
  for (const RouteTrace& trace : traces_) choice_->Append(ChoiceText(trace));
}

void RouteBrowser::Choose(int index) {
  choice_->SetSelection(index);
  baseline_.clear();
  if (const RouteTrace* chosen = Chosen()) ReadBaselineBefore(*chosen);
  ShowComparison();
}

// The newest baseline taken before the path: a baseline itself is compared
// with the one before it, which shows how the path changed.
void RouteBrowser::ReadBaselineBefore(const RouteTrace& trace) {
  if (!queries_.latestRoute) return;
  baseline_ = queries_.latestRoute(host_, RouteReason::Baseline, TakenMs(trace))
                  .value_or(std::vector<RouteTrace>{});
}

void RouteBrowser::ShowComparison() {
  hops_->Freeze();
  hops_->DeleteAllItems();
  const RouteTrace* chosen = Chosen();
  if (!chosen) {
    header_->SetLabel(queries_.routes ? "No path to this host has been recorded yet."
                                      : "Paths are not recorded in this history.");
    hops_->Thaw();
    Layout();
    return;
  }
  const RouteTrace* baseline = Baseline();
  // A line each, short enough not to wrap: a wrapped label outgrew the
  // height its sizer gave it, and lost its last line.
  header_->SetLabel(
      Utf8(RouteReasonText(chosen->Reason)) + " path of " + LocalTimeText(TakenMs(*chosen)) +
      " to " + Utf8(chosen->Destination) + ": " + Utf8(LastAnswerText(*chosen)) + ".\nThe path " +
      Utf8(RouteEndText(chosen->End)) + ".\n" +
      (baseline ? "Compared with the baseline of " + LocalTimeText(TakenMs(*baseline)) + "."
                : wxString("No baseline was recorded before it.")));
  for (const HopComparison& row : CompareRoutes(*chosen, baseline)) {
    const long item =
        hops_->InsertItem(hops_->GetItemCount(), wxString::Format("%d", row.HopLimit));
    hops_->SetItem(item, 1, HopCell(row.Baseline));
    hops_->SetItem(item, 2, HopCell(row.Outage));
    if (row.Outage) {
      hops_->SetItem(item, 3, Utf8(HopRoundTripText(*row.Outage)));
      hops_->SetItem(item, 4, Utf8(HopLossText(*row.Outage)));
    }
    hops_->SetItem(item, 5, Utf8(HopMarkText(row.Mark)));
    if (const wxColour colour = MarkColour(row.Mark); colour.IsOk())
      hops_->SetItemBackgroundColour(item, colour);
  }
  for (const int column : {1, 2}) FitAddressColumn(column);
  hops_->Thaw();
  Layout();
}

// An address with its reverse name is as long as the name, and as wide as
// the system's font makes it (GTK's is wider than Windows'): the column
// grows to its widest cell, never narrower than it starts.
void RouteBrowser::FitAddressColumn(int column) {
  hops_->SetColumnWidth(column, wxLIST_AUTOSIZE);
  hops_->SetColumnWidth(column, std::max(hops_->GetColumnWidth(column), FromDIP(kAddressWidth)));
}

RouteWindow::RouteWindow(wxWindow* parent, std::string host, HistoryQueries queries,
                         std::function<void()> traceNow, std::function<bool()> tracing)
    : wxFrame(parent, wxID_ANY, "Route to " + ToDisplay(host), wxDefaultPosition,
              FromDIP(wxSize(760, 460), parent), wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT),
      host_(std::move(host)),
      traceNow_(std::move(traceNow)),
      tracing_(std::move(tracing)),
      poll_(this) {
  SetIcons(AppIcons());
  auto* panel = new wxPanel(this);
  const int gap = FromDIP(8);
  browser_ = new RouteBrowser(panel, host_, std::move(queries));
  traceButton_ = new wxButton(panel, wxID_ANY, "&Trace now");
  state_ = new wxStaticText(panel, wxID_ANY, wxEmptyString);
  auto* bar = new wxBoxSizer(wxHORIZONTAL);
  bar->Add(traceButton_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, gap);
  bar->Add(state_, 1, wxALIGN_CENTER_VERTICAL);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(browser_, 1, wxEXPAND);
  column->Add(bar, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, gap);
  panel->SetSizer(column);
  traceButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    traceNow_();
    ShowTracing();
  });
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { ShowTracing(); });
  poll_.Start(kTracingPollMs);
  AnswerHelpKey(*this, kRouteWindowHelpContext);
  ShowTracing();
}

void RouteWindow::RouteRecorded(const RouteTrace& trace) {
  if (!ProfileText::SameSectionName(trace.Host, host_)) return;
  browser_->TakeIn(trace);
  ShowTracing();
}

void RouteWindow::ShowTracing() {
  const bool busy = tracing_();
  traceButton_->Enable(!busy);
  state_->SetLabel(busy ? "Tracing the path..." : "");
}

}  // namespace kelvoran
