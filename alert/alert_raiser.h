#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "alert/alert_event.h"
#include "engine/popup_sender.h"
#include "engine/quality_watch.h"
#include "engine/result_sink.h"

namespace kelvoran {

// Whether each of a host's last (up to 100) results failed.
class RecentFailures {
 public:
  static constexpr std::size_t kKept = 100;
  void Add(bool failed);
  // Percent of the kept results that failed, rounded to nearest; 0 before any.
  std::uint32_t LossPercent() const;

 private:
  std::bitset<kKept> failed_;
  std::uint8_t count_ = 0;
  std::uint8_t next_ = 0;
};

// Turns a host's status edges into alerts for the channels it names. Also a
// ResultSink: it keeps the last results of the hosts that name a channel,
// for the loss an alert reports.
class AlertRaiser final : public ResultSink {
 public:
  using Raise = std::function<void(const std::vector<std::string>& channels, const AlertEvent&)>;
  struct Environment {
    // Seconds east of UTC at a moment (the platform's LocalUtcOffset).
    std::function<std::int64_t(std::int64_t utc)> utcOffset = [](std::int64_t) { return 0; };
    // The monitoring computer's name.
    std::string computer;
  };

  AlertRaiser(Raise raise, Environment environment);
  // Takes the alerts of edges held on purpose (StatusEdge::heldBecause), to
  // be logged as held; without it they are dropped.
  using Hold = std::function<void(const std::vector<std::string>& channels, const AlertEvent&,
                                  const std::string& why)>;
  void SetHold(Hold hold) { hold_ = std::move(hold); }

  // For PopupSenders::edges; valid while the raiser lives.
  StatusEdgeObserver Observer();
  void EdgeSeen(const HostRecord& host, const StatusEdge& edge);
  // For QualityWatch: a quality rule raised or back to normal, sent as an
  // alert of its own kind.
  QualityEdgeObserver QualityObserver();
  void QualitySeen(const HostRecord& host, const QualityEdge& edge);

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override {}
  void Forget(std::int32_t hostId) { recent_.erase(hostId); }

 private:
  LocalMoment Local(CalendarTime utc) const;
  // The event's host, status and computer.
  AlertEvent About(const HostRecord& host) const;
  // Raised, or logged as held when there is a reason to.
  void Send(const std::vector<std::string>& channels, const AlertEvent& event,
            const std::string& heldBecause);

  Raise raise_;
  Hold hold_;
  Environment environment_;
  std::unordered_map<std::int32_t, RecentFailures> recent_;
};

}  // namespace kelvoran
