#include "metrics/listen_address.h"

#include <charconv>

namespace kelvoran {
namespace {

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  unsigned port = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() || port == 0 ||
      port > 65535)
    return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& problem) {
  std::string_view address = kDefaultListenAddress;
  std::string_view port = text;
  if (text.starts_with('[')) {
    const auto close = text.find("]:");
    if (close == std::string_view::npos || close == 1) {
      problem = "an IPv6 address is written [ADDRESS]:PORT";
      return std::nullopt;
    }
    address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
    if (text.find(':') != colon) {
      problem = "an IPv6 address is written [ADDRESS]:PORT";
      return std::nullopt;
    }
    if (colon != 0) address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  const auto number = ParsePort(port);
  if (!number) {
    problem = "the port must be a number from 1 to 65535";
    return std::nullopt;
  }
  return ListenAddress{std::string(address), *number};
}

std::string ListenAddressText(const ListenAddress& address) {
  const bool ipv6 = address.address.find(':') != std::string::npos;
  return (ipv6 ? "[" + address.address + "]" : address.address) + ":" +
         std::to_string(address.port);
}

}  // namespace kelvoran
