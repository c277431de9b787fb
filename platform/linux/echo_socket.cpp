#include "platform/linux/echo_socket.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
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
// An ICMP error quotes at most 576 bytes; the rest does not matter here.
constexpr std::size_t kErrorPayloadBytes = 576;

bool Configure(int fd, bool raw) {
  // Without IP_RECVERR a ping socket drops ICMP errors about its requests,
  // and a probe to an unreachable host would only ever time out.
  const int on = 1;
  if (setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on) != 0) return false;
  if (!raw) return true;
  // A raw socket gets a copy of every ICMP packet of the namespace; let the
  // kernel pass only echo replies and the errors that can be about a request.
  icmp_filter filter{};
  filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
                  (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
  return setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) == 0;
}

int OpenConfigured(int type, std::int32_t& error) {
  const int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0 && Configure(fd, type == SOCK_RAW)) return fd;
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

std::uint16_t ProcessIdentifier() { return static_cast<std::uint16_t>(ProcessSalt() >> 16); }

std::uint16_t NextSequence() {
  static std::atomic<std::uint32_t> counter{ProcessSalt()};
  return static_cast<std::uint16_t>(counter.fetch_add(1, std::memory_order_relaxed));
}

// A ping socket writes its own port number into the identifier field.
std::uint16_t PingSocketIdentifier(int fd) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
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
    sockaddr_in from{};
    iovec io{exchange.buffer.get(), kMaxDatagramBytes};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    const ssize_t got = recvmsg(exchange.fd, &message, 0);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
      // With IP_RECVERR every ICMP error also sets the socket's pending error,
      // which the next recvmsg reports once; the error queue tells whose.
      ++failures;
      continue;
    }
    if (message.msg_flags & MSG_TRUNC) continue;
    const Bytes packet(exchange.buffer.get(), static_cast<std::size_t>(got));
    const auto match =
        MatchReceivedPacket(exchange.kind, packet, from.sin_addr.s_addr, exchange.expected);
    if (auto answer = Answer(exchange, match)) return answer;
  }
  return std::nullopt;
}

const sock_extended_err* FindExtendedError(msghdr& message) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR &&
        c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
      return reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    }
  }
  return nullptr;
}

// Reads the error queue until it is empty or holds an error about our request.
std::optional<TimedEchoReply> ReadErrorQueue(Exchange& exchange) {
  for (;;) {
    sockaddr_in original{};
    iovec io{exchange.buffer.get(), kErrorPayloadBytes};
    alignas(cmsghdr) unsigned char control[512];
    msghdr message{};
    message.msg_name = &original;
    message.msg_namelen = sizeof original;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(exchange.fd, &message, MSG_ERRQUEUE);
    if (got < 0) return std::nullopt;  // EAGAIN: the queue is empty
    const sock_extended_err* extended = FindExtendedError(message);
    if (extended == nullptr) continue;
    QueuedError error;
    error.Origin = extended->ee_origin;
    error.Type = extended->ee_type;
    error.Code = extended->ee_code;
    error.Errno = extended->ee_errno;
    error.OriginalDestination = original.sin_addr.s_addr;
    error.Payload = Bytes(exchange.buffer.get(), static_cast<std::size_t>(got));
    if (auto answer = Answer(exchange, MatchQueuedError(error, exchange.expected))) return answer;
  }
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

int OpenEchoSocket(EchoSocketChoice choice, std::int32_t& error) {
  if (choice != EchoSocketChoice::RawOnly) {
    const int fd = OpenConfigured(SOCK_DGRAM, error);
    if (fd >= 0 || choice == EchoSocketChoice::PingOnly) return fd;
  }
  return OpenConfigured(SOCK_RAW, error);
}

EchoSocketKind KindOfEchoSocket(int fd) {
  int type = 0;
  socklen_t length = sizeof type;
  getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length);
  return type == SOCK_DGRAM ? EchoSocketKind::Ping : EchoSocketKind::Raw;
}

std::optional<TimedEchoReply> ExchangeEcho(int fd, Ipv4Address destination, Bytes data,
                                           std::uint32_t timeoutMs) {
  Exchange exchange;
  exchange.fd = fd;
  exchange.kind = KindOfEchoSocket(fd);
  exchange.expected = {destination, ProcessIdentifier(), NextSequence(), data};
  const auto request =
      BuildEchoRequest(exchange.expected.Identifier, exchange.expected.Sequence, data);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = destination;
  exchange.sentAt = SteadyClock::now();
  ssize_t sent = -1;
  do {
    sent =
        sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    const auto status = LocalErrorStatus(errno);
    if (!status) return std::nullopt;
    return TimedEchoReply{*status, 0, 0};
  }
  if (exchange.kind == EchoSocketKind::Ping)
    exchange.expected.Identifier = PingSocketIdentifier(fd);
  return AwaitAnswer(exchange, timeoutMs);
}

}  // namespace kelvoran
