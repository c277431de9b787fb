#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include "engine/probe_job.h"

namespace kelvoran {

// The only structure the probe workers share with the user-interface thread:
// finished jobs wait here until the next tick takes them. Its lock is held
// only to put or take a job; the history writer and the alert dispatcher
// keep locks of their own, never taken while this one is held.
class ResultMailbox {
 public:
  static constexpr std::size_t InitialSlots = 32;
  static constexpr std::size_t GrowthSlots = 8;

  ResultMailbox();
  ResultMailbox(const ResultMailbox&) = delete;
  ResultMailbox& operator=(const ResultMailbox&) = delete;
  // Frees any job still waiting; after the closing wait there are none.
  virtual ~ResultMailbox();

  // Stores the job in the first empty slot, growing by eight slots when there
  // is none. Called by worker threads.
  void Put(ProbeJobPtr job);
  // Removes and returns the job in the first occupied slot, or null.
  ProbeJobPtr Take();

  // The number of slots, which never shrinks.
  std::size_t SlotCount() const;
  // The slot a job with the given HostId sits in, or -1 (for tests).
  std::ptrdiff_t SlotOf(std::int32_t hostId) const;

 private:
  std::vector<ProbeJob*>::iterator From(std::size_t slot);

  mutable std::mutex lock_;
  std::vector<ProbeJob*> slots_;
  // Every slot before firstEmpty_ is occupied, every one before firstFull_
  // empty: thousands of results a second waiting for one tick would
  // otherwise cost a search from the first slot each.
  std::size_t firstEmpty_ = 0;
  std::size_t firstFull_ = 0;
};

}  // namespace kelvoran
