// The history window and the outage log on a real history file, driven with
// the real pointer; what they export is read back by Python's csv module.
#include "ui/history/history_window.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <atomic>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "engine/quality_watch.h"
#include "engine/result_text.h"
#include "history/history_recorder.h"
#include "tests/settings/temp_dir.h"
#include "tests/ui/modal_run.h"
#include "ui/history/history_text.h"
#include "ui/history/latency_graph.h"
#include "ui/history/outage_log.h"
#include "ui/history/route_view.h"

namespace kelvoran {
namespace {

using namespace std::chrono_literals;
using ExpectSave = testing::ExpectDialog<wxFileDialog>;

constexpr CalendarTime kNow = 1'800'000'000;
// A host name a CSV file must quote, with bytes that are not UTF-8.
const std::string kHost = "a,\"b\"\r\nc \xff";

// The first control of the class under `parent` that `match` accepts.
template <class Control>
Control* FindChild(wxWindow& parent, const std::function<bool(Control&)>& match) {
  for (wxWindow* child : parent.GetChildren()) {
    if (auto* found = dynamic_cast<Control*>(child); found && match(*found)) return found;
    if (Control* inside = FindChild<Control>(*child, match)) return inside;
  }
  return nullptr;
}
template <class Control>
Control* FindChild(wxWindow& parent, const wxString& label) {
  return FindChild<Control>(parent, [&](Control& found) { return found.GetLabel() == label; });
}

class HistoryWindows : public ::testing::Test {
 protected:
  // Ten results ten minutes ago, round trips 10 to 19 ms; the fourth to
  // sixth fail, taking the host into ERROR for 3 s; then one of another host.
  void SetUp() override {
    HistoryOptions options;
    options.now = [this] { return nowMs_.load(); };
    recorder_ = std::make_unique<HistoryRecorder>(dir_.File("KELVORAN.HISTORY"), options);
    for (CalendarTime i = 0; i < 11; ++i) {
      const bool failed = i >= 3 && i <= 5;
      HostRecord host;
      host.Host = i < 10 ? kHost : "other";
      host.Status = failed ? StatusError : StatusOk;
      ProbeResult result;
      result.StartTime = i < 10 ? kNow - 600 + i : kNow - 100;
      result.ResultCode = failed ? 11010 : 0;
      result.RoundTripTime = failed ? 0 : static_cast<std::uint32_t>(result.StartTime - kNow + 610);
      const std::int32_t before = i == 3    ? StatusOk
                                  : i == 6  ? StatusError
                                  : i == 10 ? StatusWarning
                                            : host.Status;
      recorder_->ResultApplied(host, result, before);
    }
    recorder_->TickEnded();
    ASSERT_TRUE(recorder_->Flush());
  }

  // Clicks the window's Export button: the save dialog comes, titled
  // `title`. GTK's file chooser takes no file name before it is shown, so
  // the test cancels it and `write` exports to a file directly; returns its
  // lines. (The CSV itself is read back by Python in history_view_tests.)
  std::vector<std::string> Export(wxWindow& window, const wxString& title,
                                  const std::function<bool(const wxString&)>& write) {
    wxString asked;
    wxTEST_DIALOG(
        testing::ClickWithPointer(*FindChild<wxButton>(window, "&Export CSV..."), wxPoint(10, 10)),
        ExpectSave([&](wxFileDialog& dialog) {
          asked = dialog.GetMessage();
          return static_cast<int>(wxID_CANCEL);
        }));
    EXPECT_EQ(asked, title);
    const std::string file = dir_.File("export.csv");
    EXPECT_TRUE(write(file));
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line.substr(0, line.find('\r')));
    return lines;
  }

  testing::TempDir dir_;
  std::atomic<HistoryTime> nowMs_ = kNow * 1000;
  std::unique_ptr<HistoryRecorder> recorder_;
};

// The figures and outages of the last 24 hours, their export, the graph
// moved and zoomed with the pointer; a graph that ends at the present moves
// on with it and counts the results recorded since, one moved into the past
// stays there.
TEST_F(HistoryWindows, GraphFiguresOutagesAndTheExportOfTheRangeShown) {
  auto* window = new HistoryWindow(nullptr, kHost, recorder_->Queries());
  window->Show();
  testing::PumpEvents(300ms);
  // 24 hours up to now: all ten results.
  EXPECT_NE(FindChild<wxStaticText>(*window,
                                    "10 probes, 30.0 % lost.  Round trip: min 10 ms, "
                                    "avg 14.7 ms, max 19 ms, 95th percentile 19 ms."),
            nullptr);
  auto* outages = FindChild<wxListCtrl>(*window, [](wxListCtrl&) { return true; });
  ASSERT_NE(outages, nullptr);
  ASSERT_EQ(outages->GetItemCount(), 1);
  std::vector<wxString> cells;
  for (int column = 0; column < 4; ++column) cells.push_back(outages->GetItemText(0, column));
  EXPECT_EQ(cells, (std::vector<wxString>{LocalTimeText((kNow - 597) * 1000),
                                          LocalTimeText((kNow - 594) * 1000), "3 s",
                                          ResultText(11010, 0)}));

  // A header, then each result on a line of its own (the host's line break is quoted).
  const auto samples = Export(*window, "Export History",
                              [&](const wxString& file) { return window->ExportSamples(file); });
  EXPECT_EQ(samples.size(), 21u);
  EXPECT_EQ(std::count_if(samples.begin(), samples.end(),
                          [](const std::string& line) { return line.ends_with(",ERROR"); }),
            3);

  // Dragging to the right shows earlier times; the wheel narrows the range.
  LatencyGraph& graph = window->Graph();
  const HistoryTime from = graph.From(), span = graph.To() - graph.From();
  const wxPoint middle = graph.GetScreenPosition() + graph.PlotRect().GetPosition() +
                         wxPoint(graph.PlotRect().width / 2, graph.PlotRect().height / 2);
  wxUIActionSimulator pointer;
  pointer.MouseMove(middle);
  pointer.MouseDown();
  testing::PumpEvents(50ms);
  pointer.MouseMove(middle + wxPoint(100, 0));
  testing::PumpEvents(50ms);
  pointer.MouseUp();
  testing::PumpEvents(200ms);
  EXPECT_LT(graph.From(), from);
  EXPECT_EQ(graph.To() - graph.From(), span);
  wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
  wheel.m_wheelRotation = 120;
  wheel.m_x = graph.PlotRect().x + graph.PlotRect().width / 2;
  graph.ProcessWindowEvent(wheel);
  EXPECT_LT(graph.To() - graph.From(), span);
  // Zooming out far around the left edge widens the range up to now, not past.
  wheel.m_wheelRotation = -120;
  wheel.m_x = graph.PlotRect().x;
  for (int step = 0; step < 10; ++step) graph.ProcessWindowEvent(wheel);
  EXPECT_GT(graph.To() - graph.From(), 2 * span);
  EXPECT_EQ(graph.To(), kNow * 1000);
  HostRecord host;
  host.Host = kHost;
  recorder_->ResultApplied(host, {.RoundTripTime = 7, .StartTime = kNow + 60}, StatusOk);
  recorder_->TickEnded();
  ASSERT_TRUE(recorder_->Flush());
  nowMs_ = (kNow + 120) * 1000;
  window->FollowThePresent();
  EXPECT_EQ(graph.To(), nowMs_.load());
  EXPECT_NE(FindChild<wxStaticText>(*window,
                                    [](wxStaticText& text) {
                                      return text.GetLabel().StartsWith("11 probes, 27.3 % lost.");
                                    }),
            nullptr);
  const HistoryTime past = graph.To() - 3'600'000;
  graph.SetRange(past - 3'600'000, past);
  nowMs_ = (kNow + 180) * 1000;
  window->FollowThePresent();
  EXPECT_EQ(graph.To(), past);
  window->Destroy();
}

// A host name wider than the window shows shortened in the choice, whole
// in its tooltip, and choosing it still picks that host.
TEST_F(HistoryWindows, OutageLogListsEveryChangeNewestFirstAndExportsTheHostChosen) {
  const std::string name = "a" + std::string(400, 'x') + ".example";
  HostRecord host;
  host.Host = name;
  host.Status = StatusError;
  recorder_->ResultApplied(host, {.ResultCode = 11010, .StartTime = kNow - 40}, StatusOk);
  // Lossy since shortly before it went down.
  host.QualityFlags = QualityFlag(QualityRule::Lossy);
  recorder_->QualityChanged(host, {QualityRule::Lossy, true, 60, 5, 50, kNow - 45, kNow - 45, {}});
  recorder_->TickEnded();
  ASSERT_TRUE(recorder_->Flush());
  auto* log = new OutageLog(nullptr, recorder_->Queries());
  log->Show();
  testing::PumpEvents(300ms);
  ASSERT_EQ(log->Shown().size(), 4u);
  auto* list = FindChild<wxListCtrl>(*log, [](wxListCtrl&) { return true; });
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetItemText(0, 8), "lossy");
  EXPECT_EQ(list->GetItemText(1, 8), "") << "another host's";
  EXPECT_EQ(std::pair(log->Shown()[0].change.host, log->Shown()[1].change.host),
            std::pair(name, std::string("other")));
  EXPECT_EQ(std::pair(log->Shown()[2].lasted, log->Shown()[3].lasted),
            std::pair(std::optional<HistoryTime>(), std::optional<HistoryTime>(3000)));
  auto* hosts = FindChild<wxChoice>(
      *log, [](wxChoice& choice) { return choice.GetString(0) == "All hosts"; });
  ASSERT_NE(hosts, nullptr);
  const auto choose = [&](const wxString& start) {
    unsigned item = 1;
    while (item < hosts->GetCount() && !hosts->GetString(item).StartsWith(start)) ++item;
    ASSERT_LT(item, hosts->GetCount()) << start;
    hosts->SetSelection(static_cast<int>(item));
    wxCommandEvent chosen(wxEVT_CHOICE, hosts->GetId());
    chosen.SetInt(static_cast<int>(item));
    hosts->ProcessWindowEvent(chosen);
  };
  choose("ax");
  EXPECT_EQ(log->Shown().size(), 1u);
  EXPECT_EQ(hosts->GetToolTipText(), wxString(name));
  // A change recorded while the window is open shows as soon as a host is
  // chosen.
  HostRecord other;
  other.Host = "other";
  other.Status = StatusWarning;
  recorder_->ResultApplied(other, {.ResultCode = 11010, .StartTime = kNow - 50}, StatusOk);
  recorder_->TickEnded();
  ASSERT_TRUE(recorder_->Flush());
  choose("other");
  ASSERT_EQ(log->Shown().size(), 2u);
  EXPECT_EQ(hosts->GetStringSelection(), "other");

  const auto changes =
      Export(*log, "Export Outages", [&](const wxString& file) { return log->ExportShown(file); });
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_TRUE(changes[0].starts_with("Time,Host,From,To")) << changes[0];
  EXPECT_NE(changes[1].find(",other,OK,WARNING,"), std::string::npos) << changes[1];
  EXPECT_NE(changes[2].find(",other,WARNING,OK,50"), std::string::npos) << changes[2];
  log->Destroy();
}

// A path of the hops' addresses ("" silent), each answering hop named.
RouteTrace PathOf(const std::string& host, CalendarTime taken, RouteReason reason,
                  const std::vector<std::string>& addresses) {
  RouteTrace trace{host, "10.0.3.9", taken, reason, RouteEnd::Silent, {}};
  for (const std::string& address : addresses) {
    const int hop = static_cast<int>(trace.Hops.size()) + 1;
    trace.Hops.push_back({hop, address, address.empty() ? "" : "r" + std::to_string(hop), 3,
                          address.empty() ? 0 : 3, 900, 1250, false, 0});
  }
  return trace;
}

std::vector<wxString> Column(wxListCtrl& list, int column) {
  std::vector<wxString> cells;
  for (long row = 0; row < list.GetItemCount(); ++row)
    cells.push_back(list.GetItemText(row, column));
  return cells;
}

// The host's outage broke at its third hop: the history window's Route page
// shows its path beside the baseline from before, the outage log and its
// export name the last hop that answered, and the route window shows a path
// recorded while it is open.
TEST_F(HistoryWindows, RoutePageOutageLogAndRouteWindowNameTheLastAnsweringHop) {
  const std::vector<std::string> full = {"10.0.1.1", "10.0.2.1", "10.0.3.1", "10.0.3.9"};
  recorder_->RouteRecorded(PathOf(kHost, kNow - 700, RouteReason::Baseline, full));
  recorder_->RouteRecorded(
      PathOf(kHost, kNow - 597, RouteReason::Outage, {"10.0.1.1", "10.0.2.1", ""}));
  // Another host's outage path, taken within this host's outage: not its.
  recorder_->RouteRecorded(PathOf("other", kNow - 596, RouteReason::Outage, {"10.0.9.1"}));
  recorder_->TickEnded();
  ASSERT_TRUE(recorder_->Flush());

  auto* window = new HistoryWindow(nullptr, kHost, recorder_->Queries());
  window->Show();
  testing::PumpEvents(300ms);
  RouteBrowser& page = window->Routes();
  ASSERT_NE(page.Chosen(), nullptr);
  EXPECT_EQ(page.Chosen()->Reason, RouteReason::Outage);
  EXPECT_TRUE(page.Header().Contains("last answer from 10.0.2.1, hop 2")) << page.Header();
  EXPECT_EQ(Column(page.Hops(), 1), (std::vector<wxString>{"10.0.1.1 (r1)", "10.0.2.1 (r2)",
                                                           "10.0.3.1 (r3)", "10.0.3.9 (r4)"}));
  EXPECT_EQ(Column(page.Hops(), 2),
            (std::vector<wxString>{"10.0.1.1 (r1)", "10.0.2.1 (r2)", "*", ""}));
  EXPECT_EQ(Column(page.Hops(), 5),
            (std::vector<wxString>{"", "", "stopped answering", "stopped answering"}));
  // The outage chosen in the list picks its path on the Route page.
  page.TakeIn(PathOf(kHost, kNow, RouteReason::OnDemand, full));
  ASSERT_EQ(page.Chosen()->Taken, kNow);
  window->Outages().SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  testing::PumpEvents(100ms);
  EXPECT_EQ(page.Chosen()->Taken, kNow - 597);
  window->Destroy();

  auto* log = new OutageLog(nullptr, recorder_->Queries());
  log->Show();
  testing::PumpEvents(300ms);
  auto* list = FindChild<wxListCtrl>(*log, [](wxListCtrl&) { return true; });
  ASSERT_NE(list, nullptr);
  std::vector<wxString> lastAnswers;
  for (const wxString& cell : Column(*list, 6))
    if (!cell.empty()) lastAnswers.push_back(cell);
  EXPECT_EQ(lastAnswers, std::vector<wxString>{"last answer from 10.0.2.1, hop 2"})
      << "only on the change into ERROR, and not the other host's";
  const auto exported =
      Export(*log, "Export Outages", [&](const wxString& file) { return log->ExportShown(file); });
  ASSERT_FALSE(exported.empty());
  EXPECT_TRUE(exported[0].ends_with(",Last answer")) << exported[0];
  EXPECT_EQ(std::count_if(exported.begin(), exported.end(),
                          [](const std::string& line) {
                            return line.ends_with(",\"last answer from 10.0.2.1, hop 2\"");
                          }),
            1);
  log->Destroy();

  int asked = 0;
  auto* route = new RouteWindow(
      nullptr, kHost, recorder_->Queries(), [&] { ++asked; }, [&] { return asked == 1; });
  route->Show();
  testing::PumpEvents(100ms);
  ASSERT_EQ(route->Browser().Traces().size(), 2u);
  testing::ClickWithPointer(*FindChild<wxButton>(*route, "&Trace now"), wxPoint(10, 10));
  testing::PumpEvents(100ms);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(FindChild<wxButton>(*route, "&Trace now")->IsEnabled()) << "while tracing";
  route->RouteRecorded(PathOf("other", kNow, RouteReason::OnDemand, full));
  EXPECT_EQ(route->Browser().Traces().size(), 2u) << "another host's path";
  route->RouteRecorded(PathOf(kHost, kNow, RouteReason::OnDemand, full));
  ASSERT_EQ(route->Browser().Traces().size(), 3u);
  EXPECT_EQ(route->Browser().Chosen()->Reason, RouteReason::OnDemand);
  EXPECT_EQ(Column(route->Browser().Hops(), 5), std::vector<wxString>(4, ""))
      << "the same path as the baseline";
  route->Destroy();
}

// A range of a day or more has the same hours more than once: its axis
// gives the dates.
TEST(HistoryText, TimeAxisGivesTheDateFromADayOn) {
  constexpr HistoryTime kHour = 3'600'000;
  const HistoryTime time = kNow * 1000;
  const wxString date = LocalTimeText(time).Left(10), clock = LocalTimeText(time).Mid(11);
  const std::pair<HistoryTime, wxString> cases[] = {{kHour, clock},
                                                    {24 * kHour - 1, clock},
                                                    {24 * kHour, date + " " + clock.Left(5)},
                                                    {30 * 24 * kHour, date + " " + clock.Left(5)}};
  for (const auto& [span, text] : cases) EXPECT_EQ(TimeAxisText(time, span), text) << span;
}

// Out of memory for the range's results or changes: the window says so
// instead of showing an empty range as if nothing had been recorded.
TEST(HistoryWindowUnread, SaysTheRangeCouldNotBeRead) {
  const auto none = [](auto&&...) { return std::nullopt; };
  const auto some = [](auto&&...) { return std::vector<HistorySample>{{kNow * 1000, 0, 5, 0}}; };
  const HistoryQueries cases[] = {
      {none, [](auto&&...) { return std::vector<HistoryChange>{}; }, [] { return kNow * 1000; }},
      {some, none, [] { return kNow * 1000; }},
  };
  for (const HistoryQueries& queries : cases) {
    auto* window = new HistoryWindow(nullptr, kHost, queries);
    EXPECT_NE(FindChild<wxStaticText>(*window,
                                      "The history of this range could not be read: there is not "
                                      "enough memory."),
              nullptr);
    window->Destroy();
  }
}

}  // namespace
}  // namespace kelvoran
