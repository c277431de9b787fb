#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvoran {

// Where the metrics endpoint listens: a numeric IPv4 or IPv6 address and a
// port.
struct ListenAddress {
  std::string address;
  std::uint16_t port = 0;
  bool operator==(const ListenAddress&) const = default;
};

// Loopback unless the user names another address: what is served tells
// anyone who can connect which hosts are watched.
inline constexpr const char* kDefaultListenAddress = "127.0.0.1";
// The port suggested in the help and the usage text, in the range the
// exporters' community allocates (9100-9999).
inline constexpr std::uint16_t kSuggestedMetricsPort = 9765;

// Reads "PORT", ":PORT", "ADDRESS:PORT" or "[IPV6]:PORT"; the port is 1 to
// 65535. Nothing, with `problem` set, for anything else. Whether the address
// is a valid one of this machine is for the bind to tell.
std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& problem);

// "127.0.0.1:9765" or "[::1]:9765": as the user would write it.
std::string ListenAddressText(const ListenAddress& address);

}  // namespace kelvoran
