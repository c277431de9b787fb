// A user-space echo responder for the test network. Runs in a namespace whose
// kernel ignores echo requests, listens on a raw socket bound to one address
// (IPv4 or IPv6) and answers requests to that address in the way its mode
// says, well or badly:
//
//   echo_responder ADDRESS MODE [ARG]
//
//   normal | delay MS | drop | flood | twice
//
// flood, IPv4 only, first sends foreign replies and ICMP errors about other
// requests.
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/icmp_packet.h"

namespace {

using kelvoran::Bytes;
using Packet = std::vector<unsigned char>;

constexpr unsigned char kEchoReply6 = 129;

[[noreturn]] void Fail(const char* address) {
  std::perror(address);
  std::exit(1);
}

int BoundRawSocket(const char* address) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* local = nullptr;
  if (getaddrinfo(address, nullptr, &hints, &local) != 0) Fail(address);
  const int fd = socket(local->ai_family, SOCK_RAW,
                        local->ai_family == AF_INET6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP);
  if (fd < 0 || bind(fd, local->ai_addr, local->ai_addrlen) != 0) Fail(address);
  freeaddrinfo(local);
  return fd;
}

void SetChecksum(Packet& icmp) {
  icmp[2] = icmp[3] = 0;
  const std::uint16_t sum = kelvoran::InternetChecksum(icmp);
  icmp[2] = static_cast<unsigned char>(sum >> 8);
  icmp[3] = static_cast<unsigned char>(sum);
}

struct Peer {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
};

void Send(int fd, const Packet& icmp, const Peer& to) {
  sendto(fd, icmp.data(), icmp.size(), 0, reinterpret_cast<const sockaddr*>(&to.address),
         to.length);
}

// An ICMP host-unreachable error quoting ipHeader and the first 8 bytes of
// request.
Packet HostUnreachable(Bytes ipHeader, Bytes request) {
  Packet error{3, 1, 0, 0, 0, 0, 0, 0};
  error.insert(error.end(), ipHeader.begin(), ipHeader.end());
  error.insert(error.end(), request.begin(), request.begin() + 8);
  SetChecksum(error);
  return error;
}

struct Responder {
  std::string mode;
  std::string argument;
  int fd = -1;
  std::mt19937 random{std::random_device{}()};

  // Replies with other identifiers and sequence numbers, and errors about
  // requests with other sequence numbers.
  void Flood(const Packet& reply, Bytes ipHeader, Bytes request, const Peer& to) {
    for (int i = 0; i < 100; ++i) {
      Packet foreign = reply;
      for (std::size_t at = 4; at < 8; ++at) foreign[at] = static_cast<unsigned char>(random());
      SetChecksum(foreign);
      Send(fd, foreign, to);
    }
    for (unsigned char i = 1; i <= 20; ++i) {
      Packet other(request.begin(), request.end());
      other[7] ^= i;
      Send(fd, HostUnreachable(ipHeader, other), to);
    }
  }

  // ipHeader is empty for ICMPv6, which a raw socket gets without it.
  void Answer(Bytes ipHeader, Bytes request, const Peer& to) {
    if (mode == "drop") return;
    Packet reply(request.begin(), request.end());
    reply[0] = ipHeader.empty() ? kEchoReply6 : 0;
    SetChecksum(reply);
    if (mode == "delay")
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argument)));
    if (mode == "flood") Flood(reply, ipHeader, request, to);
    Send(fd, reply, to);
    if (mode == "twice") Send(fd, reply, to);
  }

  void Serve() {
    Packet buffer(65536);
    for (;;) {
      Peer from;
      const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from.address), &from.length);
      if (got < 0) continue;
      const Bytes datagram(buffer.data(), static_cast<std::size_t>(got));
      // ICMPv6 comes without its IP header. Only echo requests are answered.
      const bool ipv6 = from.address.ss_family == AF_INET6;
      const std::size_t headerBytes = ipv6 ? 0 : static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
      if (headerBytes + 8 > datagram.size() ||
          datagram[headerBytes] != (ipv6 ? ICMP6_ECHO_REQUEST : ICMP_ECHO))
        continue;
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
  Responder responder{argv[2], argc > 3 ? argv[3] : "0", BoundRawSocket(argv[1])};
  std::printf("ready\n");
  std::fflush(stdout);
  responder.Serve();
}
