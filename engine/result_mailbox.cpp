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
  auto empty = std::find(From(firstEmpty_), slots_.end(), nullptr);
  if (empty == slots_.end()) {
    const std::size_t firstNew = slots_.size();
    slots_.resize(firstNew + GrowthSlots, nullptr);
    empty = From(firstNew);
  }
  *empty = job.release();
  const auto slot = static_cast<std::size_t>(empty - slots_.begin());
  firstEmpty_ = slot + 1;
  firstFull_ = std::min(firstFull_, slot);
}

ProbeJobPtr ResultMailbox::Take() {
  std::lock_guard guard(lock_);
  auto full =
      std::find_if(From(firstFull_), slots_.end(), [](ProbeJob* j) { return j != nullptr; });
  firstFull_ = static_cast<std::size_t>(full - slots_.begin());
  if (full == slots_.end()) return nullptr;
  firstEmpty_ = std::min(firstEmpty_, firstFull_);
  return ProbeJobPtr(std::exchange(*full, nullptr));
}

std::vector<ProbeJob*>::iterator ResultMailbox::From(std::size_t slot) {
  return slots_.begin() + static_cast<std::ptrdiff_t>(slot);
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
