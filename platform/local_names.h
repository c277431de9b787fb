#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelvoran {

// Numeric addresses as getnameinfo(NI_NUMERICHOST) writes them.
using AddressList = std::vector<std::string>;
// Resolves a name to its addresses; nothing when the name does not resolve.
using AddressLookup = std::function<std::optional<AddressList>(const std::string& name)>;

// The computer's host name, with its domain where the system knows one, and
// its first label: the computer's name in the short form people type.
std::optional<std::string> FullHostName();
std::optional<std::string> ShortHostName();

// getaddrinfo over IPv4 and IPv6.
std::optional<AddressList> LookUpAddresses(const std::string& name);
// The reverse name of a numeric address (getnameinfo with NI_NAMEREQD), as a
// list of one to suit LookUpWithin; nothing when it has none.
std::optional<AddressList> LookUpReverseName(const std::string& numericAddress);
// Runs the lookup on a helper thread and waits for it at most `bound`: a
// resolver that cannot reach its name server may block for many seconds, and
// the caller is the user-interface thread. A lookup that is given up on
// finishes on its own and its answer is dropped.
std::optional<AddressList> LookUpWithin(const std::string& name, std::chrono::milliseconds bound,
                                        const AddressLookup& lookup);
// The reverse name of a numeric address looked up within `bound`; "" when it
// has none or the answer comes later.
std::string ReverseNameWithin(const std::string& numericAddress, std::chrono::milliseconds bound);
// The addresses of this machine's interfaces.
AddressList OwnAddresses();
// One of the machine's own addresses, or a loopback address: the kernel
// delivers all of 127.0.0.0/8 and ::1 locally, as Debian's 127.0.1.1 entry for
// the host name relies on.
bool IsOwnAddress(const std::string& address, const AddressList& own);

struct NameCheck {
  std::function<std::optional<std::string>()> hostName = FullHostName;
  AddressLookup lookup = LookUpAddresses;
  std::chrono::milliseconds bound{1000};
  std::function<AddressList()> ownAddresses = OwnAddresses;
};

// Whether the name means this machine: its host name, full or short, in any
// case, or a name that resolves to one of this machine's own addresses. A name that
// cannot be resolved within the bound is not this machine.
bool NamesThisMachine(const std::string& name, const NameCheck& check = {});

}  // namespace kelvoran
