#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/calendar_time.h"
#include "engine/host_record.h"
#include "engine/result_sink.h"

namespace kelvoran {

class HostRows;

enum class QualityRule : std::uint8_t { Slow, Lossy, Jittery };
inline constexpr std::array<QualityRule, 3> kQualityRules{QualityRule::Slow, QualityRule::Lossy,
                                                          QualityRule::Jittery};
// HostRecord::QualityFlags holds one bit per rule.
constexpr std::uint8_t QualityFlag(QualityRule rule) {
  return static_cast<std::uint8_t>(1u << static_cast<unsigned>(rule));
}
// "slow, lossy"; empty for none.
std::string QualityFlagsText(std::uint8_t flags);

// What the settings dialog and the settings file accept.
struct QualityLimits {
  static constexpr std::uint32_t kFewestProbes = 2, kMostProbes = 1000;
  static constexpr std::uint32_t kMostMs = 60'000;
  static constexpr std::uint32_t kMostLossPercent = 99;
};
// Why the rules cannot be used, for the dialog to refuse them; empty when
// they can.
std::string QualityRulesProblem(const QualityRules& rules);
// The rules brought within the limits, for a hand-edited settings file: a
// window out of range is moved to the nearest end, a threshold out of range
// turns its rule off.
QualityRules WithinQualityLimits(QualityRules rules);

// The mean absolute difference of consecutive round trips; none for fewer
// than two.
std::optional<double> MeanAbsoluteStep(const std::vector<std::uint32_t>& roundTrips);

// A host's last results: the round trip of each reply, none for a failure.
class QualityWindow {
 public:
  explicit QualityWindow(std::size_t size) : results_(size) {}
  void Add(std::optional<std::uint32_t> roundTrip);
  bool Full() const { return count_ == results_.size(); }
  std::size_t Size() const { return results_.size(); }
  // Of the replies; none when the window has none.
  std::optional<double> MedianMs() const;
  double LossPercent() const;
  // Over consecutive replies, failures skipped; none for fewer than two.
  std::optional<double> JitterMs() const;

 private:
  // The replies' round trips, oldest first.
  std::vector<std::uint32_t> Replies() const;

  std::vector<std::optional<std::uint32_t>> results_;
  std::size_t next_ = 0, count_ = 0;
};

// A rule's condition started or stopped holding.
struct QualityEdge {
  QualityRule rule = QualityRule::Slow;
  // False: back to normal.
  bool raised = true;
  // The window's median round trip (ms), loss (%) or jitter (ms).
  double value = 0;
  std::uint32_t window = 0;
  std::uint32_t threshold = 0;
  // The StartTime of the result that made the edge, and of the one that
  // raised the rule (the same, for a raise).
  CalendarTime at = 0;
  CalendarTime since = 0;
  // Why its alerts are held (the host is muted), or empty.
  std::string heldBecause;
};
// "slow: median 912 ms over 20 probes (above 500 ms)", "no longer slow: ...".
std::string QualityEdgeText(const QualityEdge& edge);

// Hears each edge on the user-interface thread, in the tick, with the host's
// QualityFlags already changed: it must not wait for anything.
using QualityEdgeObserver = std::function<void(const HostRecord& host, const QualityEdge& edge)>;

// Quality alerts: a host's rule is raised once its condition holds over a
// full window of its last N probes, and back to normal once it no longer
// holds over a full window of probes all made after the raise; likewise a
// rule back to normal is judged again only over a window of later probes.
// So a rule changes at most once per N probes and one odd probe never makes
// it flap. Slow: the median round trip of the window's replies is above X ms;
// lossy: more than Y % of the window failed; jittery: the mean absolute
// difference of consecutive replies' round trips is above Z ms. A window
// with no reply (fewer than two, for jitter) decides neither way: a host that
// stops answering is the outage's business, not a change of its quality.
// The host's status (OK, WARNING, ERROR) is not touched.
//
// A ResultSink on the user-interface thread; memory only for hosts with a
// rule on, at most QualityLimits::kMostProbes results each.
class QualityWatch final : public ResultSink {
 public:
  explicit QualityWatch(QualityEdgeObserver observer = {}) : observer_(std::move(observer)) {}
  void SetObserver(QualityEdgeObserver observer) { observer_ = std::move(observer); }
  // The list whose records' QualityFlags are kept and rows redrawn; until
  // then nothing is judged.
  void Attach(HostRows& rows) { rows_ = &rows; }

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  // Now and then lets go of hosts no longer in the list.
  void TickEnded() override;

  std::size_t WatchedCount() const { return hosts_.size(); }

 private:
  struct Watched {
    explicit Watched(const QualityRules& given)
        : rules(given),
          window(
              std::clamp(given.window, QualityLimits::kFewestProbes, QualityLimits::kMostProbes)),
          sinceEdge{} {}
    QualityRules rules;
    QualityWindow window;
    std::uint8_t raised = 0;
    // Results since each rule's last edge, up to the window's size.
    std::array<std::uint32_t, kQualityRules.size()> sinceEdge;
    std::array<CalendarTime, kQualityRules.size()> raisedAt{};
    // An empty window of the given rules' size; what is raised stays so.
    void Restart(const QualityRules& given) {
      const std::uint8_t wasRaised = raised;
      const auto wasRaisedAt = raisedAt;
      *this = Watched(given);
      raised = wasRaised;
      raisedAt = wasRaisedAt;
    }
  };

  void Judge(HostRecord& host, int row, Watched& watched, QualityRule rule, CalendarTime at);

  QualityEdgeObserver observer_;
  HostRows* rows_ = nullptr;
  std::uint32_t ticks_ = 0;
  std::unordered_map<std::int32_t, Watched> hosts_;
};

}  // namespace kelvoran
