// A user-space echo responder for the test network. Runs in a namespace whose
// kernel ignores echo requests, listens on a raw socket bound to one address
// (IPv4 or IPv6) and answers requests to that address in the way its mode
// says, well or badly:
//
//   echo_responder ADDRESS MODE [ARG]
//
//   normal | delay MS | drop | wrong-identifier | wrong-sequence |
//   wrong-source OTHER_ADDRESS | truncated | altered | bad-checksum |
//   duplicate | flood | error-with-options
//
// The last three are IPv4 only: the kernel writes every ICMPv6 checksum, and
// the other two quote an IPv4 header.
#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/icmp_packet.h"

namespace {

using kelvoran::Bytes;
using Packet = std::vector<unsigned char>;

constexpr unsigned char kEchoReply6 = 129;

bool IsIpv6(const char* address) { return std::strchr(address, ':') != nullptr; }

[[noreturn]] void Fail(const char* address) {
  std::perror(address);
  std::exit(1);
}

int BoundRawSocket6(const char* address) {
  const int fd = socket(AF_INET6, SOCK_RAW, IPPROTO_ICMPV6);
  sockaddr_in6 local{};
  local.sin6_family = AF_INET6;
  if (fd < 0 || inet_pton(AF_INET6, address, &local.sin6_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    Fail(address);
  }
  icmp6_filter filter{};
  ICMP6_FILTER_SETBLOCKALL(&filter);
  ICMP6_FILTER_SETPASS(ICMP6_ECHO_REQUEST, &filter);
  setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
  return fd;
}

int BoundRawSocket(const char* address) {
  if (IsIpv6(address)) return BoundRawSocket6(address);
  const int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  if (fd < 0 || inet_pton(AF_INET, address, &local.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    Fail(address);
  }
  icmp_filter filter{};
  filter.data = ~(1u << ICMP_ECHO);
  setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  return fd;
}

void SetChecksum(Packet& icmp) {
  icmp[2] = icmp[3] = 0;
  const std::uint16_t sum = kelvoran::InternetChecksum(icmp);
  icmp[2] = static_cast<unsigned char>(sum >> 8);
  icmp[3] = static_cast<unsigned char>(sum);
}

void Put16(Packet& icmp, std::size_t offset, unsigned value) {
  icmp[offset] = static_cast<unsigned char>(value >> 8);
  icmp[offset + 1] = static_cast<unsigned char>(value);
}

unsigned Get16(const Packet& icmp, std::size_t offset) {
  return static_cast<unsigned>(icmp[offset]) << 8 | icmp[offset + 1];
}

struct Peer {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
};

void Send(int fd, const Packet& icmp, const Peer& to) {
  sendto(fd, icmp.data(), icmp.size(), 0, reinterpret_cast<const sockaddr*>(&to.address),
         to.length);
}

// An ICMP host-unreachable error quoting ipHeader (with four bytes of IP
// options spliced in when withOptions) and the first 8 bytes of request.
Packet HostUnreachable(Bytes ipHeader, Bytes request, bool withOptions) {
  Packet error{3, 1, 0, 0, 0, 0, 0, 0};
  error.insert(error.end(), ipHeader.begin(), ipHeader.end());
  if (withOptions) {
    error[8] = static_cast<unsigned char>((error[8] & 0xF0) | ((ipHeader.size() + 4) / 4));
    error.insert(error.end(), {1, 1, 1, 0});  // three NOPs and the end-of-options mark
  }
  error.insert(error.end(), request.begin(), request.begin() + 8);
  SetChecksum(error);
  return error;
}

struct Responder {
  std::string mode;
  std::string argument;
  int fd = -1;
  int otherFd = -1;
  std::mt19937 random{std::random_device{}()};

  void Flood(const Packet& reply, Bytes ipHeader, Bytes request, const Peer& to) {
    for (int i = 0; i < 100; ++i) {
      Packet foreign = reply;
      Put16(foreign, 4, static_cast<unsigned>(random()));
      Put16(foreign, 6, static_cast<unsigned>(random()));
      SetChecksum(foreign);
      Send(fd, foreign, to);
    }
    for (int i = 0; i < 20; ++i) {
      Packet other(request.begin(), request.end());
      Put16(other, 6, static_cast<unsigned>(random()));
      Send(fd, HostUnreachable(ipHeader, other, false), to);
    }
  }

  // ipHeader is empty for ICMPv6, which a raw socket gets without it.
  void Answer(Bytes ipHeader, Bytes request, const Peer& to) {
    Packet reply(request.begin(), request.end());
    reply[0] = ipHeader.empty() ? kEchoReply6 : 0;
    if (mode == "altered" && reply.size() > 8) reply.back() ^= 0x01;
    SetChecksum(reply);
    if (mode == "drop") return;
    if (mode == "delay")
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argument)));
    if (mode == "wrong-identifier") Put16(reply, 4, Get16(reply, 4) ^ 0x0101u);
    if (mode == "wrong-sequence") Put16(reply, 6, Get16(reply, 6) + 1u);
    if (mode == "wrong-identifier" || mode == "wrong-sequence") SetChecksum(reply);
    if (mode == "bad-checksum") reply[2] ^= 0x55;
    if (mode == "truncated") {
      Send(fd, Packet(reply.begin(), reply.begin() + 6), to);
      reply.resize(8 + (reply.size() - 8) / 2);
      SetChecksum(reply);
    }
    if (mode == "flood") Flood(reply, ipHeader, request, to);
    if (mode == "error-with-options") {
      Send(fd, HostUnreachable(ipHeader, request, true), to);
      return;
    }
    Send(mode == "wrong-source" ? otherFd : fd, reply, to);
    if (mode == "duplicate") Send(fd, reply, to);
  }

  void Serve() {
    Packet buffer(65536);
    for (;;) {
      Peer from;
      const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from.address), &from.length);
      if (got < 8) continue;
      const Bytes datagram(buffer.data(), static_cast<std::size_t>(got));
      if (from.address.ss_family == AF_INET6) {
        Answer({}, datagram, from);
        continue;
      }
      if (got < 28) continue;
      const std::size_t headerBytes = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
      if (headerBytes + 8 > datagram.size()) continue;
      Answer(datagram.first(headerBytes), datagram.subspan(headerBytes), from);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ADDRESS MODE [ARG]\n", argv[0]);
    return 2;
  }
  Responder responder;
  responder.mode = argv[2];
  responder.argument = argc > 3 ? argv[3] : "0";
  responder.fd = BoundRawSocket(argv[1]);
  if (responder.mode == "wrong-source") responder.otherFd = BoundRawSocket(argv[3]);
  std::printf("ready\n");
  std::fflush(stdout);
  responder.Serve();
}
