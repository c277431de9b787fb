#include "engine/quality_watch.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/host_rows.h"
#include "engine/probe_job.h"

namespace kelvoran {
namespace {

const char* RuleName(QualityRule rule) {
  switch (rule) {
    case QualityRule::Slow:
      return "slow";
    case QualityRule::Lossy:
      return "lossy";
    case QualityRule::Jittery:
      return "jittery";
  }
  return "";
}

std::uint32_t Threshold(const QualityRules& rules, QualityRule rule) {
  switch (rule) {
    case QualityRule::Slow:
      return rules.slowMs;
    case QualityRule::Lossy:
      return rules.lossPercent;
    case QualityRule::Jittery:
      return rules.jitterMs;
  }
  return 0;
}

std::uint8_t EnabledFlags(const QualityRules& rules) {
  std::uint8_t flags = 0;
  for (const QualityRule rule : kQualityRules)
    if (Threshold(rules, rule) != 0) flags |= QualityFlag(rule);
  return flags;
}

// The window's figure for the rule; none when the window cannot tell.
std::optional<double> Measure(const QualityWindow& window, QualityRule rule) {
  switch (rule) {
    case QualityRule::Slow:
      return window.MedianMs();
    case QualityRule::Lossy:
      return window.LossPercent();
    case QualityRule::Jittery:
      return window.JitterMs();
  }
  return std::nullopt;
}

std::string Rounded(double value) { return std::to_string(std::lround(value)); }

}  // namespace

std::string QualityFlagsText(std::uint8_t flags) {
  std::string text;
  for (const QualityRule rule : kQualityRules)
    if (flags & QualityFlag(rule)) text += (text.empty() ? "" : ", ") + std::string(RuleName(rule));
  return text;
}

std::string QualityRulesProblem(const QualityRules& rules) {
  using L = QualityLimits;
  if (!rules.Any()) return {};
  if (rules.window < L::kFewestProbes || rules.window > L::kMostProbes)
    return "The quality alerts judge the last " + std::to_string(L::kFewestProbes) + " to " +
           std::to_string(L::kMostProbes) + " probes.";
  if (rules.slowMs > L::kMostMs || rules.jitterMs > L::kMostMs)
    return "A round trip or jitter limit can be at most " + std::to_string(L::kMostMs) + " ms.";
  if (rules.lossPercent > L::kMostLossPercent)
    return "The loss limit can be at most " + std::to_string(L::kMostLossPercent) +
           " %: no loss can be above 100 %.";
  return {};
}

QualityRules WithinQualityLimits(QualityRules rules) {
  using L = QualityLimits;
  rules.window = std::clamp(rules.window, L::kFewestProbes, L::kMostProbes);
  if (rules.slowMs > L::kMostMs) rules.slowMs = 0;
  if (rules.jitterMs > L::kMostMs) rules.jitterMs = 0;
  if (rules.lossPercent > L::kMostLossPercent) rules.lossPercent = 0;
  return rules;
}

std::optional<double> MeanAbsoluteStep(const std::vector<std::uint32_t>& roundTrips) {
  if (roundTrips.size() < 2) return std::nullopt;
  double total = 0;
  for (std::size_t i = 1; i < roundTrips.size(); ++i)
    total += std::abs(static_cast<double>(roundTrips[i]) - static_cast<double>(roundTrips[i - 1]));
  return total / static_cast<double>(roundTrips.size() - 1);
}

void QualityWindow::Add(std::optional<std::uint32_t> roundTrip) {
  results_[next_] = roundTrip;
  next_ = (next_ + 1) % results_.size();
  count_ = std::min(count_ + 1, results_.size());
}

std::vector<std::uint32_t> QualityWindow::Replies() const {
  std::vector<std::uint32_t> replies;
  const std::size_t oldest = (next_ + results_.size() - count_) % results_.size();
  for (std::size_t i = 0; i < count_; ++i)
    if (const auto& result = results_[(oldest + i) % results_.size()]) replies.push_back(*result);
  return replies;
}

std::optional<double> QualityWindow::MedianMs() const {
  std::vector<std::uint32_t> replies = Replies();
  if (replies.empty()) return std::nullopt;
  const std::size_t middle = replies.size() / 2;
  std::nth_element(replies.begin(), replies.begin() + static_cast<std::ptrdiff_t>(middle),
                   replies.end());
  const double upper = replies[middle];
  if (replies.size() % 2 != 0) return upper;
  const double lower =
      *std::max_element(replies.begin(), replies.begin() + static_cast<std::ptrdiff_t>(middle));
  return (lower + upper) / 2;
}

double QualityWindow::LossPercent() const {
  if (count_ == 0) return 0;
  const auto failed = std::count(
      results_.begin(), results_.begin() + static_cast<std::ptrdiff_t>(count_), std::nullopt);
  return 100.0 * static_cast<double>(failed) / static_cast<double>(count_);
}

std::optional<double> QualityWindow::JitterMs() const { return MeanAbsoluteStep(Replies()); }

std::string QualityEdgeText(const QualityEdge& edge) {
  const std::string over = " over " + std::to_string(edge.window) + " probes";
  std::string figure;
  switch (edge.rule) {
    case QualityRule::Slow:
      figure = "median " + Rounded(edge.value) + " ms" + over + " (limit " +
               std::to_string(edge.threshold) + " ms)";
      break;
    case QualityRule::Lossy:
      figure = Rounded(edge.value) + " % lost" + over + " (limit " +
               std::to_string(edge.threshold) + " %)";
      break;
    case QualityRule::Jittery:
      figure = "jitter " + Rounded(edge.value) + " ms" + over + " (limit " +
               std::to_string(edge.threshold) + " ms)";
      break;
  }
  return (edge.raised ? "" : "no longer ") + std::string(RuleName(edge.rule)) + ": " + figure;
}

void QualityWatch::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                 std::int32_t /*statusBefore*/) {
  if (!rows_) return;
  const int row = rows_->FindRowByHostId(host.HostId);
  if (row < 0) return;
  HostRecord& record = rows_->RecordAt(row);
  auto found = hosts_.find(host.HostId);
  if (!record.Quality.Any()) {
    // Rules turned off end without a word: nothing came back to normal.
    if (found != hosts_.end()) hosts_.erase(found);
    if (std::exchange(record.QualityFlags, 0) != 0) rows_->FormatRow(row);
    return;
  }
  // Only the watch raises flags: a record whose flags differ was reset, and
  // its results start again.
  if (found != hosts_.end() && found->second.raised != record.QualityFlags) {
    hosts_.erase(found);
    found = hosts_.end();
  }
  if (found == hosts_.end()) found = hosts_.emplace(host.HostId, Watched(record.Quality)).first;
  Watched& watched = found->second;
  if (watched.rules != record.Quality) {
    // A new window size starts a new window; a rule turned off is dropped.
    if (watched.rules.window != record.Quality.window) watched.Restart(record.Quality);
    watched.rules = record.Quality;
    watched.raised &= EnabledFlags(watched.rules);
    if (std::exchange(record.QualityFlags, watched.raised) != watched.raised) rows_->FormatRow(row);
  }
  // A host in ERROR is down, which its own alert tells: the outage's
  // failures would make it "lossy" as well, and again once it is back. Its
  // window starts afresh after the outage.
  if (record.Status == StatusError) {
    watched.Restart(watched.rules);
    return;
  }
  watched.window.Add(result.ResultCode == 0 ? std::optional(result.RoundTripTime) : std::nullopt);
  for (const QualityRule rule : kQualityRules)
    if (Threshold(watched.rules, rule) != 0) Judge(record, row, watched, rule, result.StartTime);
}

void QualityWatch::Judge(HostRecord& host, int row, Watched& watched, QualityRule rule,
                         CalendarTime at) {
  const auto index = static_cast<std::size_t>(rule);
  std::uint32_t& since = watched.sinceEdge[index];
  if (since < watched.window.Size()) ++since;
  if (since < watched.window.Size()) return;
  const std::optional<double> value = Measure(watched.window, rule);
  if (!value) return;
  const std::uint32_t threshold = Threshold(watched.rules, rule);
  const bool holds = *value > static_cast<double>(threshold);
  const bool raised = (watched.raised & QualityFlag(rule)) != 0;
  if (holds == raised) return;
  since = 0;
  watched.raised ^= QualityFlag(rule);
  host.QualityFlags = watched.raised;
  if (holds) watched.raisedAt[index] = at;
  rows_->FormatRow(row);
  if (observer_)
    observer_(host, {rule, holds, *value, static_cast<std::uint32_t>(watched.window.Size()),
                     threshold, at, watched.raisedAt[index], {}});
}

// Every 64th tick: a deleted host's results go within a minute or so, for a
// cost of one lookup per watched host.
void QualityWatch::TickEnded() {
  if (!rows_ || ++ticks_ % 64 != 0) return;
  std::erase_if(hosts_,
                [this](const auto& entry) { return rows_->FindRowByHostId(entry.first) < 0; });
}

}  // namespace kelvoran
