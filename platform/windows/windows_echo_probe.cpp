#include "platform/windows/windows_echo_probe.h"

#include <cstring>
#include <vector>

#include "engine/scheduler.h"
#include "platform/family_resolver.h"
#include "platform/windows/icmp_replies.h"

namespace kelvoran {
namespace {

HANDLE ToHandle(EchoHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// The Windows Sockets calls see the text only up to its first zero byte, and
// gethostbyname("") answers with this machine's own addresses: neither is the
// host the settings name.
bool IsWholeText(const std::string& host) {
  return !host.empty() && host.find('\0') == std::string::npos;
}

std::optional<EchoReply> SendIcmp6Echo(HANDLE handle, const Ipv6Address& destination,
                                       const unsigned char* data, std::uint16_t size,
                                       std::uint32_t timeoutMs) {
  sockaddr_in6 source = SocketAddressOf(Ipv6Address{});  // unspecified: the stack picks one
  sockaddr_in6 to = SocketAddressOf(destination);
  std::vector<unsigned char> replies(ReplyBufferSize(size));
  const DWORD records = Icmp6SendEcho2(
      handle, nullptr, nullptr, nullptr, &source, &to, const_cast<unsigned char*>(data), size,
      nullptr, replies.data(), static_cast<DWORD>(replies.size()), timeoutMs);
  if (records == 0) return ReplyWithoutRecord(Ipv4Meaning(GetLastError()));
  return FirstEchoReply(replies.data(), true, size);
}

}  // namespace

CalendarTime WindowsEchoPlatform::Now() { return SystemClock(); }

std::optional<Ipv4Address> WindowsEchoPlatform::ResolveByName(const std::string& host) {
  if (!IsWholeText(host)) return std::nullopt;
  // The entry lives in storage Windows Sockets keeps per thread, until this
  // thread's next lookup: the address is copied out at once.
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != sizeof(Ipv4Address) ||
      entry->h_addr_list[0] == nullptr) {
    return std::nullopt;
  }
  Ipv4Address address = 0;
  std::memcpy(&address, entry->h_addr_list[0], sizeof address);
  return address;
}

Ipv4Address WindowsEchoPlatform::ParseDotted(const std::string& host) {
  if (!IsWholeText(host)) return kNoAddress;
  return inet_addr(host.c_str());
}

std::optional<Ipv6Address> WindowsEchoPlatform::ResolveIpv6(const std::string& host) {
  return kelvoran::ResolveIpv6(host);
}

bool WindowsEchoPlatform::OpenEchoHandle(const EchoDestination& destination, EchoHandle& handle,
                                         std::int32_t& error) {
  const HANDLE opened = IsIpv6(destination) ? Icmp6CreateFile() : IcmpCreateFile();
  if (opened == INVALID_HANDLE_VALUE) {
    error = static_cast<std::int32_t>(GetLastError());
    return false;
  }
  handle = reinterpret_cast<EchoHandle>(opened);
  return true;
}

std::optional<EchoReply> WindowsEchoPlatform::SendEcho(EchoHandle handle,
                                                       const EchoDestination& destination,
                                                       const unsigned char* data,
                                                       std::uint16_t size,
                                                       std::uint32_t timeoutMs) {
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&destination)) {
    return SendIcmp6Echo(ToHandle(handle), *ipv6, data, size, timeoutMs);
  }
  std::vector<unsigned char> replies(ReplyBufferSize(size));
  // The request data is only read; the parameter is not const all the same.
  const DWORD records = IcmpSendEcho(ToHandle(handle), std::get<Ipv4Address>(destination),
                                     const_cast<unsigned char*>(data), size, nullptr,
                                     replies.data(), static_cast<DWORD>(replies.size()), timeoutMs);
  if (records == 0) return ReplyWithoutRecord(GetLastError());
  return FirstEchoReply(replies.data(), false, size);
}

void WindowsEchoPlatform::CloseEchoHandle(EchoHandle handle) { IcmpCloseHandle(ToHandle(handle)); }

ProbeFunction WindowsEchoProbe() {
  return [](const ProbeRequest& request, ProbeResult& result) {
    WindowsEchoPlatform platform;
    return RunEchoProbe(request, result, platform);
  };
}

}  // namespace kelvoran
