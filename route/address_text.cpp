#include "route/address_text.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace kelvoran {
namespace {

std::string DottedText(const unsigned char* bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

// The first longest run of at least two zero groups, as [begin, end).
std::pair<int, int> LongestZeroRun(const std::array<std::uint16_t, 8>& groups) {
  std::pair<int, int> best{0, 0};
  for (int begin = 0; begin < 8;) {
    int end = begin;
    while (end < 8 && groups[static_cast<std::size_t>(end)] == 0) ++end;
    if (end - begin > best.second - best.first) best = {begin, end};
    begin = end == begin ? begin + 1 : end;
  }
  if (best.second - best.first < 2) return {0, 0};
  return best;
}

std::string Ipv6Text(const Ipv6Address& address) {
  const auto& b = address.Bytes;
  std::array<std::uint16_t, 8> groups{};
  for (std::size_t i = 0; i < groups.size(); ++i)
    groups[i] = static_cast<std::uint16_t>(b[2 * i] << 8 | b[2 * i + 1]);
  const bool mapped = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 &&
                      groups[4] == 0 && groups[5] == 0xFFFF;
  if (mapped) return "::ffff:" + DottedText(b.data() + 12);
  const auto [zeroBegin, zeroEnd] = LongestZeroRun(groups);
  std::string text;
  for (int i = 0; i < 8; ++i) {
    if (i == zeroBegin && zeroEnd > zeroBegin) {
      text += "::";
      i = zeroEnd - 1;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    char group[5];
    std::snprintf(group, sizeof group, "%x", groups[static_cast<std::size_t>(i)]);
    text += group;
  }
  return text;
}

}  // namespace

std::string AddressText(const EchoDestination& address) {
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&address)) return Ipv6Text(*ipv6);
  // Network byte order: the first octet is the lowest-addressed byte.
  const Ipv4Address ipv4 = std::get<Ipv4Address>(address);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&ipv4);
  return DottedText(bytes);
}

}  // namespace kelvoran
