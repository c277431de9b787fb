#include "engine/result_text.h"

#include <string_view>

#include "engine/host_record.h"

namespace kelvoran {
namespace {

struct CodeText {
  std::int32_t code;
  std::string_view text;
};

constexpr CodeText kFixedTexts[] = {
    {ResultSuccess, ""},
    {ResultBadParameter, "Bad parameter(s) specification."},
    {ResultResolveFailed, "Error resolving host address."},
    {ResultMemoryError, "Memory error."},
    {280, "Bad response packet (too few bytes)."},
    {290, "Bad response packet (non echo type)."},
    {300, "Bad response packet (other packet)."},
    {ResultNoEchoHandle, "Internal error creating icmp handle."},
    {ResultNoReply, "Request timed out."},
    {IpBufTooSmall, "Buffer too small."},
    {IpDestNetUnreachable, "Destination net unreachable."},
    {IpDestHostUnreachable, "Destination host unreachable."},
    {IpDestProtUnreachable, "Destination protocol unreachable."},
    {IpDestPortUnreachable, "Destination port unreachable."},
    {IpNoResources, "No resources."},
    {IpBadOption, "Bad option."},
    {IpHwError, "HW error."},
    {IpPacketTooBig, "Packet too big."},
    {IpRequestTimedOut, "Request timed out."},
    {IpBadRequest, "Bad request."},
    {IpBadRoute, "Bad route."},
    {IpTtlExpiredTransit, "TTL expired transit."},
    {IpTtlExpiredReassem, "TTL expired reassem."},
    {IpParamProblem, "Parameter problem."},
    {IpSourceQuench, "Source quench."},
    {IpOptionTooBig, "Option too big."},
    {IpBadDestination, "Bad destination."},
    {ResultPopupFailed, "Error sending popup message."},
};

// Old socket-layer codes whose only text is for the connection time-out.
constexpr std::int32_t kSocketCodes[] = {200, 210, 220, 250, 260, 270};
constexpr std::int32_t kConnectionTimedOut = 10060;

}  // namespace

std::string ResultText(std::int32_t code, std::int32_t value) {
  for (const CodeText& entry : kFixedTexts)
    if (entry.code == code) return std::string(entry.text);
  for (std::int32_t socketCode : kSocketCodes)
    if (socketCode == code) return value == kConnectionTimedOut ? "Host unreachable" : "";
  return "Code " + std::to_string(code) + ", Value " + std::to_string(value);
}

std::string UnreachableText(const std::string& downHost) {
  return "unreachable: " + downHost + " is down";
}

std::string HostRecord::ResultText() const {
  if (!UnreachableBehind.empty()) return UnreachableText(UnreachableBehind);
  return kelvoran::ResultText(ResultCode, ResultValue);
}

}  // namespace kelvoran
