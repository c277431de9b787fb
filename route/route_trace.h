#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/calendar_time.h"
#include "engine/echo_probe.h"

// The path to a host: the routers an echo request meets when its time-to-live
// (IPv6: hop limit) is 1, 2, ... and each in turn sends back "time exceeded".
namespace kelvoran {

// What came back for one echo request sent with a limited hop count.
enum class HopAnswerKind {
  Silent,        // nothing within the time-out
  TimeExceeded,  // a router on the way: the hop count ran out there
  EchoReply,     // the destination itself
  Unreachable,   // a router (or the host) said the destination is out of reach
};

struct HopAnswer {
  int HopLimit = 0;  // the TTL / hop limit the request was sent with
  HopAnswerKind Kind = HopAnswerKind::Silent;
  EchoDestination From = Ipv4Address{0};  // who answered; unset while Silent
  std::uint64_t RoundTripMicros = 0;
  std::int32_t Status = 0;  // the IP status (110xx) of an Unreachable
};

// The sockets (Linux) or ICMP handles (Windows) a path probe sends through.
// Each platform folder defines one; the tracer only sees this.
class RoutePlatform {
 public:
  virtual ~RoutePlatform() = default;
  // The address the host's echo probe would send to (IPv4 first, as the
  // probe does); nothing when the name does not resolve.
  virtual std::optional<EchoDestination> Resolve(const std::string& host) = 0;
  // Sends one echo request to the destination for each hop limit, all at once,
  // and waits until every one is answered or timeoutMs has passed. Returns one
  // answer per hop limit, in the order given. Answers quoting another
  // process's or another probe's echo are not answers.
  virtual std::vector<HopAnswer> SendWithHopLimits(const EchoDestination& destination,
                                                   std::span<const int> hopLimits,
                                                   std::uint32_t timeoutMs) = 0;
  // The address's reverse name, or "" when it has none or the lookup took
  // longer than timeoutMs. Never blocks the caller longer than that.
  virtual std::string ReverseName(const EchoDestination& address, std::uint32_t timeoutMs) = 0;
};

// One hop of a recorded path.
struct RouteHop {
  int HopLimit = 0;
  std::string Address;  // numeric text; "" when no echo sent to this hop was answered
  std::string Name;     // reverse name; "" when none
  int Sent = 0;
  int Received = 0;
  std::uint64_t BestMicros = 0;
  std::uint64_t AverageMicros = 0;
  bool Destination = false;  // the host itself answered at this hop
  std::int32_t Status = 0;   // an Unreachable's IP status, else 0
};

// Why a path was recorded.
enum class RouteReason : int {
  Baseline = 0,  // while the host is OK
  Outage = 1,    // the moment the host entered ERROR
  OnDemand = 2,  // the user asked ("Trace route")
};

enum class RouteEnd : int {
  Reached = 0,      // the destination answered
  Unreachable = 1,  // a router said it cannot be reached
  Silent = 2,       // the hops after the last answer stayed silent
  Loop = 3,         // the same router answered again further on
  Failed = 4,       // no path probe could be sent (no socket, no address)
};

struct RouteTrace {
  std::string Host;         // the host's name as the list has it
  std::string Destination;  // the address traced to, numeric
  CalendarTime Taken = 0;
  RouteReason Reason = RouteReason::Baseline;
  RouteEnd End = RouteEnd::Silent;
  std::vector<RouteHop> Hops;  // hop limit 1 first; a silent tail is cut to one hop
};

struct TraceOptions {
  int MaxHops = 30;
  int EchoesPerHop = 3;
  std::uint32_t TimeoutMs = 1000;  // per round of echoes
  std::uint32_t NameTimeoutMs = 1000;
  bool LookUpNames = true;
};

// Records the path to the destination: EchoesPerHop rounds, each sending one
// echo to every hop limit not yet known to lie beyond the destination.
RouteTrace TraceRoute(const EchoDestination& destination, const TraceOptions& options,
                      RoutePlatform& platform);

// The last hop that answered (time exceeded or the destination), or nullptr.
const RouteHop* LastAnsweringHop(const RouteTrace& trace);

}  // namespace kelvoran
