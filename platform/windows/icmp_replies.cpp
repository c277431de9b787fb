#include "platform/windows/icmp_replies.h"

#include <algorithm>
#include <cstring>

namespace kelvoran {
namespace {

constexpr DWORD kIcmpErrorBytes = 60 + 8;
constexpr DWORD kIpOptionBytes = 40;

}  // namespace

DWORD ReplyBufferSize(std::uint16_t dataSize) {
  return sizeof(ICMP_ECHO_REPLY) + kIpOptionBytes + std::max<DWORD>(dataSize, kIcmpErrorBytes) + 8;
}

DWORD Ipv4Meaning(DWORD status) {
  switch (status) {
    case IP_DEST_PROHIBITED:
    case IP_DEST_SCOPE_MISMATCH:
    case IP_DEST_UNREACHABLE:
      return IP_DEST_HOST_UNREACHABLE;
    default:
      return status;
  }
}

std::optional<EchoReply> ReplyWithoutRecord(DWORD error) {
  const bool ipStatus = error > IP_STATUS_BASE && error <= IP_GENERAL_FAILURE;
  if (!ipStatus || error == IP_REQ_TIMED_OUT) return std::nullopt;
  return EchoReply{static_cast<std::int32_t>(error), 0, 0};
}

sockaddr_in6 SocketAddressOf(const Ipv6Address& address) {
  sockaddr_in6 socketAddress{};
  socketAddress.sin6_family = AF_INET6;
  std::memcpy(&socketAddress.sin6_addr, address.Bytes.data(), address.Bytes.size());
  socketAddress.sin6_scope_id = address.ScopeId;
  return socketAddress;
}

Ipv6Address AddressOf(const Ipv6AddressRecord& record) {
  Ipv6Address address;
  static_assert(sizeof record.Address == sizeof address.Bytes);
  std::memcpy(address.Bytes.data(), record.Address, sizeof record.Address);
  address.ScopeId = record.ScopeId;
  return address;
}

EchoReply FirstEchoReply(const unsigned char* replies, bool ipv6, std::uint16_t sentSize) {
  if (ipv6) {
    Icmp6EchoRecord first;
    std::memcpy(&first, replies, sizeof first);
    return EchoReply{static_cast<std::int32_t>(Ipv4Meaning(first.Status)), first.RoundTripTime,
                     sentSize};
  }
  ICMP_ECHO_REPLY first;
  std::memcpy(&first, replies, sizeof first);
  return EchoReply{static_cast<std::int32_t>(first.Status), first.RoundTripTime, first.DataSize};
}

}  // namespace kelvoran
