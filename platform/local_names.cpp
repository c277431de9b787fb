// What the name rules share on every platform: the bounded lookup and what
// counts as this machine. The folders give the system calls.
#include "platform/local_names.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/detached_thread.h"
#include "portable/text_compare.h"

namespace kelvoran {
namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsLoopback(const std::string& address) {
  return StartsWith(address, "127.") || StartsWith(address, "::ffff:127.") || address == "::1";
}

// What a helper thread and the thread waiting for it share; whichever of them
// lets go last frees it.
struct PendingLookup {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::optional<AddressList> answer;
};

}  // namespace

std::optional<AddressList> LookUpWithin(const std::string& name, std::chrono::milliseconds bound,
                                        const AddressLookup& lookup) {
  auto pending = std::make_shared<PendingLookup>();
  const bool started = StartDetachedThread([pending, name, lookup] {
    std::optional<AddressList> answer = lookup(name);
    const std::lock_guard<std::mutex> hold(pending->lock);
    pending->answer = std::move(answer);
    pending->done = true;
    pending->finished.notify_one();
  });
  // No thread to wait on, so no lookup either.
  if (!started) return std::nullopt;
  std::unique_lock<std::mutex> hold(pending->lock);
  if (!pending->finished.wait_for(hold, bound, [&pending] { return pending->done; }))
    return std::nullopt;
  return std::move(pending->answer);
}

bool IsOwnAddress(const std::string& address, const AddressList& own) {
  return IsLoopback(address) || std::find(own.begin(), own.end(), address) != own.end();
}

bool NamesThisMachine(const std::string& name, const NameCheck& check) {
  if (name.empty()) return false;
  if (const std::optional<std::string> full = check.hostName()) {
    const std::string shortName = full->substr(0, full->find('.'));
    if (EqualIgnoringCase(name, *full) || EqualIgnoringCase(name, shortName)) return true;
  }
  const std::optional<AddressList> addresses = LookUpWithin(name, check.bound, check.lookup);
  if (!addresses) return false;
  const AddressList own = check.ownAddresses();
  return std::any_of(addresses->begin(), addresses->end(),
                     [&own](const std::string& address) { return IsOwnAddress(address, own); });
}

std::string ReverseNameWithin(const std::string& numericAddress, std::chrono::milliseconds bound) {
  const auto names = LookUpWithin(numericAddress, bound, LookUpReverseName);
  return names && !names->empty() ? names->front() : std::string();
}

}  // namespace kelvoran
