#include "platform/linux/echo_socket.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <random>

namespace kelvoran {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The largest IPv4 datagram, which is what a raw socket may hand over.
constexpr std::size_t kMaxDatagramBytes = 65535;
// An ICMP error quotes at most 576 bytes (ICMPv6 up to 1232); only the first
// 8 bytes of our request matter here.
constexpr std::size_t kErrorPayloadBytes = 576;

// A raw ICMPv6 socket sees every ICMPv6 message of the namespace, neighbour
// discovery included; it is given only replies and the errors about requests.
bool FilterIcmp6(int fd) {
  icmp6_filter filter{};
  ICMP6_FILTER_SETBLOCKALL(&filter);
  for (const int type : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG,
                         ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB}) {
    ICMP6_FILTER_SETPASS(type, &filter);
  }
  return setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) == 0;
}

bool Configure(int fd, bool raw, bool ipv6) {
  // Without IP_RECVERR a ping socket drops ICMP errors about its requests,
  // and a probe to an unreachable host would only ever time out.
  const int on = 1;
  if (ipv6) {
    if (setsockopt(fd, SOL_IPV6, IPV6_RECVERR, &on, sizeof on) != 0) return false;
    return !raw || FilterIcmp6(fd);
  }
  if (setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on) != 0) return false;
  if (!raw) return true;
  // A raw socket gets a copy of every ICMP packet of the namespace; let the
  // kernel pass only echo replies and the errors that can be about a request.
  icmp_filter filter{};
  filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
                  (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
  return setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) == 0;
}

int OpenConfigured(int type, bool ipv6, std::int32_t& error) {
  const int fd = ipv6 ? socket(AF_INET6, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6)
                      : socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0 && Configure(fd, type == SOCK_RAW, ipv6)) return fd;
  error = errno;
  if (fd >= 0) close(fd);
  return -1;
}

// Raw sockets of every probe of every process see each other's replies. The
// identifier is drawn once per process (ping uses its pid the same way) and
// the sequence number counts probes, so no two probes of a process share a
// pair for 65536 probes, and other processes most likely differ.
std::uint32_t ProcessSalt() {
  static const std::uint32_t salt = std::random_device{}();
  return salt;
}

}  // namespace

std::uint16_t ProcessIdentifier() { return static_cast<std::uint16_t>(ProcessSalt() >> 16); }

namespace {

std::uint16_t NextSequence() {
  static std::atomic<std::uint32_t> counter{ProcessSalt()};
  return static_cast<std::uint16_t>(counter.fetch_add(1, std::memory_order_relaxed));
}

EchoDestination AddressOf(const sockaddr_storage& socketAddress) {
  if (socketAddress.ss_family != AF_INET6) {
    return reinterpret_cast<const sockaddr_in&>(socketAddress).sin_addr.s_addr;
  }
  const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(socketAddress);
  Ipv6Address address;
  std::memcpy(address.Bytes.data(), &ipv6.sin6_addr, address.Bytes.size());
  address.ScopeId = ipv6.sin6_scope_id;
  return address;
}

socklen_t ToSocketAddress(const EchoDestination& destination, sockaddr_storage& socketAddress) {
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&destination)) {
    auto& to = reinterpret_cast<sockaddr_in6&>(socketAddress);
    to.sin6_family = AF_INET6;
    std::memcpy(&to.sin6_addr, ipv6->Bytes.data(), ipv6->Bytes.size());
    to.sin6_scope_id = ipv6->ScopeId;
    return sizeof to;
  }
  auto& to = reinterpret_cast<sockaddr_in&>(socketAddress);
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = std::get<Ipv4Address>(destination);
  return sizeof to;
}

struct Exchange {
  int fd = -1;
  EchoSocketKind kind = EchoSocketKind::Raw;
  EchoExpectation expected;
  SteadyClock::time_point sentAt;
  // Written by recvmsg before every read; left uninitialised, as zeroing 64 KiB
  // per probe would cost more than the rest of the exchange.
  std::unique_ptr<unsigned char[]> buffer{new unsigned char[kMaxDatagramBytes]};
};

std::optional<TimedEchoReply> Answer(const Exchange& exchange, const PacketMatch& match) {
  if (match.Verdict == PacketVerdict::Foreign) return std::nullopt;
  const auto elapsed = SteadyClock::now() - exchange.sentAt;
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
  return TimedEchoReply{match.Status, static_cast<std::uint64_t>(micros), match.DataSize};
}

// Reads the normal queue until it is empty or our answer is in it.
std::optional<TimedEchoReply> ReadPackets(Exchange& exchange) {
  for (int failures = 0; failures < 8;) {
    EchoDestination from;
    const long got = ReceiveDatagram(exchange.fd, {exchange.buffer.get(), kMaxDatagramBytes}, from);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
      // With IP_RECVERR every ICMP error also sets the socket's pending error,
      // which the next recvmsg reports once; the error queue tells whose.
      ++failures;
      continue;
    }
    const Bytes packet(exchange.buffer.get(), static_cast<std::size_t>(got));
    const auto match = MatchReceivedPacket(exchange.kind, packet, from, exchange.expected);
    if (auto answer = Answer(exchange, match)) return answer;
  }
  return std::nullopt;
}

const sock_extended_err* FindExtendedError(msghdr& message) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    const bool recvErr = (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
                         (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR);
    if (recvErr && c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
      return reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    }
  }
  return nullptr;
}

// Reads the error queue until it is empty or holds an error about our request.
std::optional<TimedEchoReply> ReadErrorQueue(Exchange& exchange) {
  const std::span<unsigned char> buffer(exchange.buffer.get(), kErrorPayloadBytes);
  while (const auto error = ReceiveQueuedError(exchange.fd, buffer)) {
    if (auto answer = Answer(exchange, MatchQueuedError(*error, exchange.expected))) return answer;
  }
  return std::nullopt;
}

int PollMilliseconds(SteadyClock::duration remaining) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

std::optional<TimedEchoReply> AwaitAnswer(Exchange& exchange, std::uint32_t timeoutMs) {
  const auto deadline = exchange.sentAt + std::chrono::milliseconds(timeoutMs);
  for (auto now = SteadyClock::now(); now < deadline; now = SteadyClock::now()) {
    pollfd waiting{exchange.fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, PollMilliseconds(deadline - now));
    if (ready < 0 && errno != EINTR) return std::nullopt;
    if (ready <= 0) continue;
    if (waiting.revents & POLLNVAL) return std::nullopt;
    // Both queues on either event: POLLERR also stands for a pending socket
    // error with an empty error queue (when queueing failed for memory), and
    // only a normal recvmsg clears that; skipping it would spin until the
    // deadline.
    if (auto answer = ReadErrorQueue(exchange)) return answer;
    if (auto answer = ReadPackets(exchange)) return answer;
  }
  return std::nullopt;
}

}  // namespace

int OpenEchoSocket(EchoSocketChoice choice, bool ipv6, std::int32_t& error) {
  if (choice != EchoSocketChoice::RawOnly) {
    const int fd = OpenConfigured(SOCK_DGRAM, ipv6, error);
    if (fd >= 0 || choice == EchoSocketChoice::PingOnly) return fd;
  }
  return OpenConfigured(SOCK_RAW, ipv6, error);
}

EchoSocketKind KindOfEchoSocket(int fd) {
  int type = 0;
  socklen_t length = sizeof type;
  getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length);
  return type == SOCK_DGRAM ? EchoSocketKind::Ping : EchoSocketKind::Raw;
}

std::optional<TimedEchoReply> ExchangeEcho(int fd, const EchoDestination& destination, Bytes data,
                                           std::uint32_t timeoutMs) {
  Exchange exchange;
  exchange.fd = fd;
  exchange.kind = KindOfEchoSocket(fd);
  exchange.expected = {destination, ProcessIdentifier(), NextSequence(), data};
  const auto request = BuildEchoRequest(exchange.expected.Identifier, exchange.expected.Sequence,
                                        data, IsIpv6(destination));
  exchange.sentAt = SteadyClock::now();
  if (const int error = SendEchoRequest(fd, destination, request))
    return SendFailureReply(error, destination);
  if (exchange.kind == EchoSocketKind::Ping)
    exchange.expected.Identifier = PingSocketIdentifier(fd);
  return AwaitAnswer(exchange, timeoutMs);
}

// A ping socket writes its own port number into the identifier field; the
// port sits in the same place in sockaddr_in and sockaddr_in6.
std::uint16_t PingSocketIdentifier(int fd) {
  sockaddr_in6 local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin6_port);
}

int SendEchoRequest(int fd, const EchoDestination& destination, Bytes request) {
  sockaddr_storage to{};
  const socklen_t toLength = ToSocketAddress(destination, to);
  for (;;) {
    if (sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), toLength) >=
        0)
      return 0;
    if (errno != EINTR) return errno;
  }
}

std::optional<TimedEchoReply> SendFailureReply(int error, const EchoDestination& destination) {
  // EINVAL from an IPv4 send is a blackhole or prohibit route, which has
  // always read as no answer; only IPv6 gives it the link-local meaning.
  if (error == EINVAL && !IsIpv6(destination)) return std::nullopt;
  const auto status = LocalErrorStatus(error);
  if (!status) return std::nullopt;
  return TimedEchoReply{*status, 0, 0};
}

long ReceiveDatagram(int fd, std::span<unsigned char> buffer, EchoDestination& source) {
  sockaddr_storage from{};
  iovec io{buffer.data(), buffer.size()};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  const ssize_t got = recvmsg(fd, &message, 0);
  if (got < 0) return -1;
  source = AddressOf(from);
  return (message.msg_flags & MSG_TRUNC) ? 0 : got;
}

std::optional<QueuedError> ReceiveQueuedError(int fd, std::span<unsigned char> buffer) {
  for (;;) {
    sockaddr_storage original{};
    iovec io{buffer.data(), buffer.size()};
    alignas(cmsghdr) unsigned char control[512];
    msghdr message{};
    message.msg_name = &original;
    message.msg_namelen = sizeof original;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &message, MSG_ERRQUEUE);
    if (got < 0) return std::nullopt;  // EAGAIN: the queue is empty
    const sock_extended_err* extended = FindExtendedError(message);
    if (extended == nullptr) continue;
    QueuedError error;
    error.Origin = extended->ee_origin;
    error.Type = extended->ee_type;
    error.Code = extended->ee_code;
    error.Errno = extended->ee_errno;
    error.OriginalDestination = AddressOf(original);
    error.Payload = Bytes(buffer.data(), static_cast<std::size_t>(got));
    return error;
  }
}

}  // namespace kelvoran
