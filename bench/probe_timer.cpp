// Times the echo probe for bench/echo_probe_compare, inside the test network
// (`ip netns exec`):
//
//   probe_timer [--socket auto|ping|raw] --repeat N | --micros  HOST:PACKETSIZE:TIMEOUT...
//
// --repeat N probes the targets N times in turn, each probe on a new thread,
//            as the program does, and prints the process's CPU time per probe.
// --micros   probes the targets in turn and prints each round trip in
//            microseconds (whole ms, as the program keeps them, are too coarse).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/family_resolver.h"
#include "platform/linux/echo_socket.h"
#include "platform/linux/linux_echo_probe.h"
#include "platform/linux/resolver.h"

namespace {

using kelvoran::EchoSocketChoice;
using kelvoran::ProbeRequest;
using kelvoran::ProbeResult;

struct Options {
  EchoSocketChoice socket = EchoSocketChoice::PingThenRaw;
  long repeat = 0;
  bool micros = false;
  std::vector<ProbeRequest> requests;
};

// HOST:PACKETSIZE:TIMEOUT, split from the right so that the host may hold
// any text at all.
ProbeRequest ParseTarget(const std::string& text) {
  const auto last = text.rfind(':');
  const auto middle = text.rfind(':', last - 1);
  if (last == std::string::npos || middle == std::string::npos) {
    std::fprintf(stderr, "bad target: %s\n", text.c_str());
    std::exit(2);
  }
  return {.Host = text.substr(0, middle),
          .PacketSize = static_cast<std::uint32_t>(std::stoul(text.substr(middle + 1))),
          .Timeout = std::stoi(text.substr(last + 1))};
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--socket" && i + 1 < argc) {
      const std::string kind = argv[++i];
      options.socket = kind == "ping"  ? EchoSocketChoice::PingOnly
                       : kind == "raw" ? EchoSocketChoice::RawOnly
                                       : EchoSocketChoice::PingThenRaw;
    } else if (arg == "--repeat" && i + 1 < argc) {
      options.repeat = std::stol(argv[++i]);
    } else if (arg == "--micros") {
      options.micros = true;
    } else {
      options.requests.push_back(ParseTarget(arg));
    }
  }
  return options;
}

void RunRepeated(const Options& options) {
  const auto probe = kelvoran::LinuxEchoProbe(options.socket);
  const std::clock_t before = std::clock();
  long failures = 0;
  for (long round = 0; round < options.repeat; ++round) {
    for (const auto& request : options.requests) {
      ProbeResult result;
      std::thread([&] { probe(request, result); }).join();
      failures += result.ResultCode != 0;
    }
  }
  const auto probes =
      static_cast<double>(options.repeat) * static_cast<double>(options.requests.size());
  const double micros = static_cast<double>(std::clock() - before) * 1e6 / CLOCKS_PER_SEC;
  std::printf("cpu_us_per_probe %.1f failures %ld\n", micros / probes, failures);
}

std::optional<kelvoran::EchoDestination> Resolve(const std::string& host) {
  if (auto ipv4 = kelvoran::ResolveIpv4(host)) return *ipv4;
  if (auto ipv6 = kelvoran::ResolveIpv6(host)) return *ipv6;
  return std::nullopt;
}

void RunTimed(const Options& options) {
  for (const auto& request : options.requests) {
    std::int32_t error = 0;
    const auto destination = Resolve(request.Host);
    const int fd =
        destination ? kelvoran::OpenEchoSocket(options.socket, IsIpv6(*destination), error) : -1;
    std::optional<kelvoran::TimedEchoReply> reply;
    if (fd >= 0) {
      const std::vector<unsigned char> data(request.PacketSize & 0xFFFFu);
      reply = kelvoran::ExchangeEcho(fd, *destination, data,
                                     static_cast<std::uint32_t>(request.Timeout) * 1000u);
      close(fd);
    }
    const bool answered = reply && reply->Status == 0;
    std::puts(answered ? std::to_string(reply->RoundTripMicros).c_str() : "failed");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (options.repeat > 0) RunRepeated(options);
  if (options.micros) RunTimed(options);
}
