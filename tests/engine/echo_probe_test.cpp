#include "engine/echo_probe.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <string>
#include <tuple>

#include "engine/result_text.h"

namespace kelvoran {
namespace {

// What the resolver and the dotted-address parser answer, when they know the
// text: short values, to keep the call logs readable.
constexpr Ipv4Address kResolved = 1, kParsed = 2;
const Ipv6Address kIpv6{{0x20, 0x01, 0, 2}, 0};

std::string Logged(const EchoDestination& destination) {
  return IsIpv6(destination) ? "v6" : std::to_string(std::get<Ipv4Address>(destination));
}

// Logs every platform call in order, "send:<handle>@<destination>" ("v6" for
// any IPv6 address), and
// answers as scripted.
struct FakePlatform : EchoPlatform {
  template <class T>
  T Log(const std::string& call, T answer) {
    calls += calls.empty() ? call : " " + call;
    return answer;
  }
  CalendarTime Now() override { return Log("now", CalendarTime{1000}); }
  std::optional<Ipv4Address> ResolveByName(const std::string& host) override {
    return Log("resolve:" + host, resolved);
  }
  Ipv4Address ParseDotted(const std::string& host) override { return Log("parse:" + host, parsed); }
  std::optional<Ipv6Address> ResolveIpv6(const std::string& host) override {
    return Log("resolve6:" + host, resolved6);
  }
  bool OpenEchoHandle(const EchoDestination& destination, EchoHandle& handle,
                      std::int32_t& error) override {
    std::tie(handle, error) = std::tuple(7, openError);
    return Log("open:" + Logged(destination), openError == 0);
  }
  std::optional<EchoReply> SendEcho(EchoHandle handle, const EchoDestination& destination,
                                    const unsigned char*, std::uint16_t size,
                                    std::uint32_t timeoutMs) override {
    std::tie(sentSize, sentTimeout) = std::tuple(size, timeoutMs);
    Log("send:" + std::to_string(handle) + "@" + Logged(destination), 0);
    if (sendRunsOutOfMemory) throw std::bad_alloc();
    return reply;
  }
  void CloseEchoHandle(EchoHandle handle) override { Log("close:" + std::to_string(handle), 0); }

  std::string calls;
  std::optional<Ipv4Address> resolved = kResolved;
  Ipv4Address parsed = kNoAddress;
  std::optional<Ipv6Address> resolved6 = kIpv6;  // known, but asked only without IPv4
  std::int32_t openError = 0;
  bool sendRunsOutOfMemory = false;
  std::optional<EchoReply> reply = EchoReply{ResultSuccess, 12, 32};
  std::uint16_t sentSize = 0;
  std::uint32_t sentTimeout = 0;
};

struct Probe {
  std::int32_t Run() { return RunEchoProbe(request, result, platform); }
  ProbeRequest request{"server", 32, 2, 0};
  ProbeResult result;
  FakePlatform platform;
};

// The log shows the start time taken before the resolver, the resolver asked
// before the parser, and every opened handle closed.
TEST(EchoProbe, EachOutcomeWithItsCodeAndPlatformCalls) {
  struct Outcome {
    const char* name;
    void (*script)(Probe&);
    std::int32_t code, value;
    const char* calls;
  };
  const Outcome outcomes[] = {
      {"answered", [](Probe&) {}, ResultSuccess, 0, "now resolve:server open:1 send:7@1 close:7"},
      {"dotted text goes to the resolver first", [](Probe& p) { p.request.Host = "10.0.0.2"; },
       ResultSuccess, 0, "now resolve:10.0.0.2 open:1 send:7@1 close:7"},
      {"dotted text the resolver does not know",
       [](Probe& p) {
         p.request.Host = "10.0.0.2";
         std::tie(p.platform.resolved, p.platform.parsed) = std::tuple(std::nullopt, kParsed);
       },
       ResultSuccess, 0, "now resolve:10.0.0.2 parse:10.0.0.2 open:2 send:7@2 close:7"},
      {"name with IPv6 addresses only", [](Probe& p) { p.platform.resolved.reset(); },
       ResultSuccess, 0,
       "now resolve:server parse:server resolve6:server open:v6 send:7@v6 close:7"},
      {"unknown name",
       [](Probe& p) {
         p.platform.resolved.reset();
         p.platform.resolved6.reset();
       },
       ResultResolveFailed, 0, "now resolve:server parse:server resolve6:server"},
      {"Timeout 0", [](Probe& p) { p.request.Timeout = 0; }, ResultBadParameter, 0, "now"},
      {"no echo handle", [](Probe& p) { p.platform.openError = EACCES; }, ResultNoEchoHandle,
       EACCES, "now resolve:server open:1"},
      {"no reply", [](Probe& p) { p.platform.reply.reset(); }, ResultNoReply, 0,
       "now resolve:server open:1 send:7@1 close:7"},
      {"host unreachable",
       [](Probe& p) {
         p.platform.reply = EchoReply{IpDestHostUnreachable, 3, 32};
       },
       IpDestHostUnreachable, 0, "now resolve:server open:1 send:7@1 close:7"},
      {"out of memory while sending", [](Probe& p) { p.platform.sendRunsOutOfMemory = true; },
       ResultMemoryError, 0, "now resolve:server open:1 send:7@1 close:7"},
      {"PacketSize past the limit", [](Probe& p) { p.request.PacketSize = kMaxEchoDataBytes + 1; },
       ResultMemoryError, 0, "now"},
      {"PacketSize 4294967295", [](Probe& p) { p.request.PacketSize = 0xFFFFFFFFu; },
       ResultMemoryError, 0, "now"}};
  for (const Outcome& o : outcomes) {
    SCOPED_TRACE(o.name);
    Probe p;
    p.result.ResultValue = 99;  // must not survive the probe
    o.script(p);
    EXPECT_EQ(p.Run(), o.code);
    EXPECT_EQ(std::tie(p.result.ResultCode, p.result.ResultValue, p.result.StartTime),
              std::tuple(o.code, o.value, 1000));
    EXPECT_EQ(p.platform.calls, o.calls);
    const bool answered = o.code == ResultSuccess;
    EXPECT_EQ(std::tie(p.result.RoundTripTime, p.result.SentSize, p.result.ReplySize),
              answered ? std::tuple(12u, 32u, 32u) : std::tuple(0u, 0u, 0u));
  }
}

// The wire carries the low 16 bits of PacketSize; the wait in milliseconds
// saturates instead of wrapping to a short one.
TEST(EchoProbe, WireSizeAndWaitFromPacketSizeAndTimeout) {
  const std::tuple<std::uint32_t, std::int32_t, std::uint16_t, std::uint32_t> cases[] = {
      {32, 2, 32, 2000},
      {0, 1, 0, 1000},
      {65536 + 65535, 1, 65535, 1000},
      {kMaxEchoDataBytes, 1, 0, 1000},
      {32, 4294968, 32, UINT32_MAX},
      {32, INT32_MAX, 32, UINT32_MAX}};
  for (const auto& [packetSize, timeout, wireSize, waitMs] : cases) {
    Probe p;
    std::tie(p.request.PacketSize, p.request.Timeout) = std::tie(packetSize, timeout);
    EXPECT_EQ(p.Run(), ResultSuccess) << packetSize << ", " << timeout;
    EXPECT_EQ(std::tie(p.platform.sentSize, p.result.SentSize, p.platform.sentTimeout),
              std::tie(wireSize, packetSize, waitMs))
        << packetSize << ", " << timeout;
  }
}

}  // namespace
}  // namespace kelvoran
