#include "platform/linux/echo_socket.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
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

// What the two queues' readers hand each packet to; true once nothing more is
// awaited.
struct PacketHandlers {
  std::function<bool(Bytes packet, const EchoDestination& source)> OnPacket;
  std::function<bool(const QueuedError& error)> OnError;
};

// Written by recvmsg before every read; left uninitialised, as zeroing 64 KiB
// per probe would cost more than the rest of the exchange.
using ReceiveBuffer = std::unique_ptr<unsigned char[]>;

// Reads the normal queue until it is empty or the handler has all it awaits.
bool ReadPackets(int fd, unsigned char* buffer, const PacketHandlers& handlers) {
  for (int failures = 0; failures < 8;) {
    EchoDestination from;
    const long got = ReceiveDatagram(fd, {buffer, kMaxDatagramBytes}, from);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
      // With IP_RECVERR every ICMP error also sets the socket's pending error,
      // which the next recvmsg reports once; the error queue tells whose.
      ++failures;
      continue;
    }
    if (got == 0) continue;
    if (handlers.OnPacket(Bytes(buffer, static_cast<std::size_t>(got)), from)) return true;
  }
  return false;
}

const cmsghdr* FindExtendedError(msghdr& message) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    const bool recvErr = (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
                         (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR);
    if (recvErr && c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) return c;
  }
  return nullptr;
}

// The sender of the ICMP error, which the kernel puts right after the
// extended error (SO_EE_OFFENDER); unset when there is none (a local error).
EchoDestination OffenderOf(const cmsghdr* c) {
  const auto* extended = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
  const std::size_t room = c->cmsg_len - CMSG_LEN(sizeof(sock_extended_err));
  sockaddr_storage offender{};
  std::memcpy(&offender, SO_EE_OFFENDER(extended), std::min(room, sizeof offender));
  const bool whole = (offender.ss_family == AF_INET && room >= sizeof(sockaddr_in)) ||
                     (offender.ss_family == AF_INET6 && room >= sizeof(sockaddr_in6));
  return whole ? AddressOf(offender) : EchoDestination(Ipv4Address{0});
}

// Reads the error queue until it is empty or the handler has all it awaits.
bool ReadErrorQueue(int fd, unsigned char* buffer, const PacketHandlers& handlers) {
  while (const auto error = ReceiveQueuedError(fd, {buffer, kErrorPayloadBytes}))
    if (handlers.OnError(*error)) return true;
  return false;
}

int PollMilliseconds(SteadyClock::duration remaining) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// Hands every packet of both queues to the handlers until they have all they
// await or the deadline passes.
void AwaitAnswers(int fd, SteadyClock::time_point deadline, const PacketHandlers& handlers) {
  const ReceiveBuffer buffer(new unsigned char[kMaxDatagramBytes]);
  for (auto now = SteadyClock::now(); now < deadline; now = SteadyClock::now()) {
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, PollMilliseconds(deadline - now));
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    if (waiting.revents & POLLNVAL) return;
    // Both queues on either event: POLLERR also stands for a pending socket
    // error with an empty error queue (when queueing failed for memory), and
    // only a normal recvmsg clears that; skipping it would spin until the
    // deadline.
    if (ReadErrorQueue(fd, buffer.get(), handlers)) return;
    if (ReadPackets(fd, buffer.get(), handlers)) return;
  }
}

std::uint64_t MicrosSince(SteadyClock::time_point sentAt) {
  const auto elapsed = SteadyClock::now() - sentAt;
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
}

// 0 once sent, else the errno of the failed send.
int SendRequest(int fd, Bytes request, const sockaddr_storage& to, socklen_t toLength) {
  ssize_t sent = -1;
  do {
    sent = sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                  toLength);
  } while (sent < 0 && errno == EINTR);
  return sent < 0 ? errno : 0;
}

// The IP status a failed send stands for, if any. EINVAL from an IPv4 send
// is a blackhole or prohibit route, which has always read as no answer; only
// IPv6 gives it the link-local meaning.
std::optional<std::int32_t> SendFailureStatus(int error, bool ipv6) {
  if (error == EINVAL && !ipv6) return std::nullopt;
  return LocalErrorStatus(error);
}

// With IP_RECVERR every ICMP error queued also becomes the socket's pending
// error, which the next send reports once as its own failure: the routers'
// answers to the first requests arrive while the later ones are being sent.
// Reading SO_ERROR clears it (the error queue keeps the answers); a failure
// that comes again is the send's own.
int SendAfterPendingErrors(int fd, Bytes request, const sockaddr_storage& to, socklen_t toLength) {
  if (SendRequest(fd, request, to, toLength) == 0) return 0;
  int pending = 0;
  socklen_t length = sizeof pending;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length);
  return SendRequest(fd, request, to, toLength);
}

bool SetHopLimit(int fd, bool ipv6, int hopLimit) {
  return ipv6 ? setsockopt(fd, SOL_IPV6, IPV6_UNICAST_HOPS, &hopLimit, sizeof hopLimit) == 0
              : setsockopt(fd, SOL_IP, IP_TTL, &hopLimit, sizeof hopLimit) == 0;
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
  const EchoSocketKind kind = KindOfEchoSocket(fd);
  EchoExpectation expected{destination, ProcessIdentifier(), NextSequence(), data};
  const bool ipv6 = IsIpv6(destination);
  const auto request = BuildEchoRequest(expected.Identifier, expected.Sequence, data, ipv6);
  sockaddr_storage to{};
  const socklen_t toLength = ToSocketAddress(destination, to);
  const auto sentAt = SteadyClock::now();
  if (const int error = SendRequest(fd, request, to, toLength)) {
    const auto status = SendFailureStatus(error, ipv6);
    if (!status) return std::nullopt;
    return TimedEchoReply{*status, 0, 0};
  }
  if (kind == EchoSocketKind::Ping) expected.Identifier = PingSocketIdentifier(fd);
  std::optional<TimedEchoReply> answer;
  const auto take = [&](const PacketMatch& match) {
    if (match.Verdict == PacketVerdict::Foreign) return false;
    answer = TimedEchoReply{match.Status, MicrosSince(sentAt), match.DataSize};
    return true;
  };
  AwaitAnswers(fd, sentAt + std::chrono::milliseconds(timeoutMs),
               {[&](Bytes packet, const EchoDestination& source) {
                  return take(MatchReceivedPacket(kind, packet, source, expected));
                },
                [&](const QueuedError& error) { return take(MatchQueuedError(error, expected)); }});
  return answer;
}

std::vector<HopLimitedEcho> ExchangeHopLimitedEchoes(int fd, const EchoDestination& destination,
                                                     std::span<const int> hopLimits, Bytes data,
                                                     std::uint32_t timeoutMs) {
  const EchoSocketKind kind = KindOfEchoSocket(fd);
  const bool ipv6 = IsIpv6(destination);
  sockaddr_storage to{};
  const socklen_t toLength = ToSocketAddress(destination, to);
  std::vector<HopLimitedEcho> echoes(hopLimits.size());
  std::vector<EchoExpectation> expected(hopLimits.size());
  std::vector<SteadyClock::time_point> sentAt(hopLimits.size());
  std::size_t awaited = 0;
  for (std::size_t i = 0; i < hopLimits.size(); ++i) {
    if (!SetHopLimit(fd, ipv6, hopLimits[i])) return {};
    expected[i] = {destination, ProcessIdentifier(), NextSequence(), data};
    sentAt[i] = SteadyClock::now();
    const auto request = BuildEchoRequest(expected[i].Identifier, expected[i].Sequence, data, ipv6);
    if (const int error = SendAfterPendingErrors(fd, request, to, toLength)) {
      if (const auto status = SendFailureStatus(error, ipv6))
        echoes[i].Match = {PacketVerdict::Error, *status, 0};
      continue;
    }
    echoes[i].Awaited = true;
    ++awaited;
  }
  // A ping socket puts its own port in the identifier of every request.
  if (kind == EchoSocketKind::Ping)
    for (EchoExpectation& e : expected) e.Identifier = PingSocketIdentifier(fd);
  // Each packet is checked against every request still unanswered: an answer
  // is ours only if it quotes one of them whole.
  const auto take = [&](const auto& match) {
    for (std::size_t i = 0; i < echoes.size(); ++i) {
      if (!echoes[i].Awaited) continue;
      const PacketMatch found = match(expected[i]);
      if (found.Verdict == PacketVerdict::Foreign) continue;
      echoes[i] = {found, MicrosSince(sentAt[i]), false};
      --awaited;
      break;
    }
    return awaited == 0;
  };
  if (awaited == 0) return echoes;
  AwaitAnswers(fd, sentAt.front() + std::chrono::milliseconds(timeoutMs),
               {[&](Bytes packet, const EchoDestination& source) {
                  return take([&](const EchoExpectation& e) {
                    return MatchReceivedPacket(kind, packet, source, e);
                  });
                },
                [&](const QueuedError& error) {
                  return take([&](const EchoExpectation& e) { return MatchQueuedError(error, e); });
                }});
  return echoes;
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
  return SendRequest(fd, request, to, toLength);
}

std::optional<TimedEchoReply> SendFailureReply(int error, const EchoDestination& destination) {
  const auto status = SendFailureStatus(error, IsIpv6(destination));
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
    const cmsghdr* found = FindExtendedError(message);
    if (found == nullptr) continue;
    const auto* extended = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(found));
    QueuedError error;
    error.Origin = extended->ee_origin;
    error.Type = extended->ee_type;
    error.Code = extended->ee_code;
    error.Errno = extended->ee_errno;
    error.OriginalDestination = AddressOf(original);
    error.Payload = Bytes(buffer.data(), static_cast<std::size_t>(got));
    error.Offender = OffenderOf(found);
    return error;
  }
}

}  // namespace kelvoran
