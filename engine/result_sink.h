#pragma once

#include <cstdint>

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

}  // namespace kelvoran
