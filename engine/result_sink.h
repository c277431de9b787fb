#pragma once

#include <cstdint>
#include <vector>

namespace kelvoran {

class HostRecord;
struct ProbeResult;

// Hears of every result the tick applies, on the user-interface thread, in
// the tick itself: whatever it does must not wait for anything.
class ResultSink {
 public:
  virtual ~ResultSink() = default;
  // The host after the result was applied; statusBefore is its status just
  // before, so a change of status reads as host.Status != statusBefore.
  virtual void ResultApplied(const HostRecord& host, const ProbeResult& result,
                             std::int32_t statusBefore) = 0;
  // Every result of this tick has been applied.
  virtual void TickEnded() = 0;
};

// Tells each of several sinks in turn: the history and the list's recent
// results hear the same results.
class ResultSinks final : public ResultSink {
 public:
  void Add(ResultSink* sink) {
    if (sink) sinks_.push_back(sink);
  }
  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override {
    for (ResultSink* sink : sinks_) sink->ResultApplied(host, result, statusBefore);
  }
  void TickEnded() override {
    for (ResultSink* sink : sinks_) sink->TickEnded();
  }

 private:
  std::vector<ResultSink*> sinks_;
};

}  // namespace kelvoran
