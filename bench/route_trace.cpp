// One path probe from the command line, as the program runs it, for
// bench/route_vs_traceroute.sh:
//
//   route_trace HOST [ping|raw]
//
// Prints each hop kept (hop limit, address, name, received of sent, best
// and mean round trip in ms), then how the path ended and the wall time.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/linux/linux_route_probe.h"

namespace {

const char* EndText(kelvoran::RouteEnd end) {
  switch (end) {
    case kelvoran::RouteEnd::Reached:
      return "reached";
    case kelvoran::RouteEnd::Unreachable:
      return "unreachable";
    case kelvoran::RouteEnd::Silent:
      return "silent";
    case kelvoran::RouteEnd::Loop:
      return "loop";
    case kelvoran::RouteEnd::Failed:
      return "failed";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s HOST [ping|raw]\n", argv[0]);
    return 2;
  }
  const bool raw = argc > 2 && std::string(argv[2]) == "raw";
  kelvoran::LinuxRoutePlatform platform(raw ? kelvoran::EchoSocketChoice::RawOnly
                                            : kelvoran::EchoSocketChoice::PingOnly);
  const auto started = std::chrono::steady_clock::now();
  const auto destination = platform.Resolve(argv[1]);
  if (!destination) {
    std::fprintf(stderr, "%s: no address\n", argv[1]);
    return 1;
  }
  const kelvoran::RouteTrace trace = kelvoran::TraceRoute(*destination, {}, platform);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  for (const kelvoran::RouteHop& hop : trace.Hops) {
    std::printf("%2d  %-20s %-20s %d/%d  %.3f  %.3f\n", hop.HopLimit,
                hop.Address.empty() ? "*" : hop.Address.c_str(), hop.Name.c_str(), hop.Received,
                hop.Sent, static_cast<double>(hop.BestMicros) / 1000,
                static_cast<double>(hop.AverageMicros) / 1000);
  }
  std::printf("end: %s, %.3f s\n", EndText(trace.End), took.count());
  return 0;
}
