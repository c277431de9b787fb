#include "platform/local_names.h"

#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "portable/text_compare.h"

namespace kelvoran {
namespace {

std::optional<std::string> NumericAddress(const sockaddr* address) {
  if (!address) return std::nullopt;
  const int family = address->sa_family;
  if (family != AF_INET && family != AF_INET6) return std::nullopt;
  const socklen_t size = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
  char text[NI_MAXHOST];
  if (getnameinfo(address, size, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
    return std::nullopt;
  return std::string(text);
}

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

std::optional<std::string> FullHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
  return std::string(name);
}

std::optional<std::string> ShortHostName() {
  std::optional<std::string> name = FullHostName();
  if (!name) return std::nullopt;
  const std::string shortName = name->substr(0, name->find('.'));
  if (shortName.empty()) return name;
  return shortName;
}

std::optional<AddressList> LookUpAddresses(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  // One socket type, or every address comes back once per type.
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return std::nullopt;
  AddressList addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (auto address = NumericAddress(entry->ai_addr)) addresses.push_back(std::move(*address));
  }
  freeaddrinfo(found);
  if (addresses.empty()) return std::nullopt;
  return addresses;
}

std::optional<AddressList> LookUpWithin(const std::string& name, std::chrono::milliseconds bound,
                                        const AddressLookup& lookup) {
  auto pending = std::make_shared<PendingLookup>();
  try {
    std::thread([pending, name, lookup] {
      std::optional<AddressList> answer = lookup(name);
      const std::lock_guard<std::mutex> hold(pending->lock);
      pending->answer = std::move(answer);
      pending->done = true;
      pending->finished.notify_one();
    }).detach();
  } catch (const std::system_error&) {
    // EAGAIN: no thread to wait on, so no lookup either.
    return std::nullopt;
  }
  std::unique_lock<std::mutex> hold(pending->lock);
  if (!pending->finished.wait_for(hold, bound, [&pending] { return pending->done; }))
    return std::nullopt;
  return std::move(pending->answer);
}

AddressList OwnAddresses() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return {};
  AddressList addresses;
  for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
    if (auto address = NumericAddress(entry->ifa_addr)) addresses.push_back(std::move(*address));
  }
  freeifaddrs(interfaces);
  return addresses;
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

}  // namespace kelvoran
