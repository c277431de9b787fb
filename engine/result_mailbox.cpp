#include "engine/result_mailbox.h"

#include <algorithm>
#include <utility>

namespace kelvoran {

ResultMailbox::ResultMailbox() : slots_(InitialSlots, nullptr) {}

ResultMailbox::~ResultMailbox() {
  for (ProbeJob* job : slots_) FreeProbeJob(job);
}

void ResultMailbox::Put(ProbeJobPtr job) {
  std::lock_guard guard(lock_);
  auto empty = std::find(slots_.begin(), slots_.end(), nullptr);
  if (empty == slots_.end()) {
    const std::size_t firstNew = slots_.size();
    slots_.resize(firstNew + GrowthSlots, nullptr);
    empty = slots_.begin() + static_cast<std::ptrdiff_t>(firstNew);
  }
  *empty = job.release();
}

ProbeJobPtr ResultMailbox::Take() {
  std::lock_guard guard(lock_);
  auto full = std::find_if(slots_.begin(), slots_.end(), [](ProbeJob* j) { return j != nullptr; });
  if (full == slots_.end()) return nullptr;
  return ProbeJobPtr(std::exchange(*full, nullptr));
}

std::size_t ResultMailbox::SlotCount() const {
  std::lock_guard guard(lock_);
  return slots_.size();
}

std::ptrdiff_t ResultMailbox::SlotOf(std::int32_t hostId) const {
  std::lock_guard guard(lock_);
  auto it = std::find_if(slots_.begin(), slots_.end(),
                         [hostId](ProbeJob* j) { return j && j->Request.HostId == hostId; });
  return it == slots_.end() ? -1 : it - slots_.begin();
}

}  // namespace kelvoran
