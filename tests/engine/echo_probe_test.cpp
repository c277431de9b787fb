#include "engine/echo_probe.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>

#include "engine/result_text.h"

namespace kelvoran {
namespace {

constexpr Ipv4Address kResolved = 0x0A000001;
constexpr Ipv4Address kParsed = 0x0A000002;

// Logs every platform call in order and answers as scripted.
struct FakePlatform : EchoPlatform {
  CalendarTime Now() override {
    calls += "now ";
    return clock;
  }
  std::optional<Ipv4Address> ResolveByName(const std::string& host) override {
    calls += "resolve:" + host + " ";
    clock += 30;  // a slow resolver
    return resolved;
  }
  Ipv4Address ParseDotted(const std::string& host) override {
    calls += "parse:" + host + " ";
    return parsed;
  }
  bool OpenEchoHandle(EchoHandle& handle, std::int32_t& error) override {
    calls += "open ";
    std::tie(handle, error) = std::tuple(7, openError);
    return openError == 0;
  }
  std::optional<EchoReply> SendEcho(EchoHandle handle, Ipv4Address destination,
                                    const unsigned char*, std::uint16_t size,
                                    std::uint32_t timeoutMs) override {
    calls += "send:" + std::to_string(handle) + " ";
    std::tie(sentTo, sentSize, sentTimeout) = std::tuple(destination, size, timeoutMs);
    return reply;
  }
  void CloseEchoHandle(EchoHandle handle) override { calls += "close:" + std::to_string(handle); }

  std::string calls;
  CalendarTime clock = 1000;
  std::optional<Ipv4Address> resolved = kResolved;
  Ipv4Address parsed = kNoAddress, sentTo = 0;
  std::int32_t openError = 0;
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

TEST(EchoProbe, EachOutcomeWithItsCodeAndPlatformCalls) {
  struct Outcome {
    const char* name;
    void (*script)(Probe&);
    std::int32_t code, value;
    const char* calls;
    Ipv4Address sentTo;
  };
  const Outcome outcomes[] = {
      {"answered", [](Probe&) {}, ResultSuccess, 0, "now resolve:server open send:7 close:7",
       kResolved},
      {"dotted text goes to the resolver first", [](Probe& p) { p.request.Host = "10.0.0.2"; },
       ResultSuccess, 0, "now resolve:10.0.0.2 open send:7 close:7", kResolved},
      {"dotted text the resolver does not know",
       [](Probe& p) {
         p.request.Host = "10.0.0.2";
         std::tie(p.platform.resolved, p.platform.parsed) = std::tuple(std::nullopt, kParsed);
       },
       ResultSuccess, 0, "now resolve:10.0.0.2 parse:10.0.0.2 open send:7 close:7", kParsed},
      {"unknown name", [](Probe& p) { p.platform.resolved.reset(); }, ResultResolveFailed, 0,
       "now resolve:server parse:server ", 0},
      {"Timeout 0", [](Probe& p) { p.request.Timeout = 0; }, ResultBadParameter, 0, "now ", 0},
      {"Timeout INT32_MIN", [](Probe& p) { p.request.Timeout = INT32_MIN; }, ResultBadParameter, 0,
       "now ", 0},
      {"no echo handle", [](Probe& p) { p.platform.openError = EACCES; }, ResultNoEchoHandle,
       EACCES, "now resolve:server open ", 0},
      {"no reply", [](Probe& p) { p.platform.reply.reset(); }, ResultNoReply, 0,
       "now resolve:server open send:7 close:7", kResolved},
      {"host unreachable",
       [](Probe& p) {
         p.platform.reply = EchoReply{IpDestHostUnreachable, 3, 32};
       },
       IpDestHostUnreachable, 0, "now resolve:server open send:7 close:7", kResolved},
      {"PacketSize past the limit", [](Probe& p) { p.request.PacketSize = kMaxEchoDataBytes + 1; },
       ResultMemoryError, 0, "now ", 0},
      {"PacketSize 4294967295", [](Probe& p) { p.request.PacketSize = 0xFFFFFFFFu; },
       ResultMemoryError, 0, "now ", 0}};
  for (const Outcome& o : outcomes) {
    SCOPED_TRACE(o.name);
    Probe p;
    p.result.ResultValue = 99;  // must not survive the probe
    o.script(p);
    EXPECT_EQ(p.Run(), o.code);
    EXPECT_EQ(std::tie(p.result.ResultCode, p.result.ResultValue), std::tie(o.code, o.value));
    EXPECT_EQ(p.result.StartTime, 1000) << "taken before the slow resolver";
    EXPECT_EQ(std::tie(p.platform.calls, p.platform.sentTo), std::tuple(o.calls, o.sentTo));
    const bool answered = o.code == ResultSuccess;
    EXPECT_EQ(std::tie(p.result.RoundTripTime, p.result.SentSize, p.result.ReplySize),
              answered ? std::tuple(12u, 32u, 32u) : std::tuple(0u, 0u, 0u));
  }
}

// The wire carries the low 16 bits of PacketSize; the wait in milliseconds
// saturates instead of wrapping to a short one.
TEST(EchoProbe, WireSizeAndWaitFromPacketSizeAndTimeout) {
  struct Case {
    std::uint32_t packetSize;
    std::int32_t timeout;
    std::uint16_t wireSize;
    std::uint32_t waitMs;
  };
  const Case cases[] = {{32, 2, 32, 2000},
                        {0, 1, 0, 1000},
                        {65536 + 100, 1, 100, 1000},
                        {kMaxEchoDataBytes, 1, 0, 1000},
                        {32, 4294968, 32, UINT32_MAX},
                        {32, INT32_MAX, 32, UINT32_MAX}};
  for (const Case& c : cases) {
    Probe p;
    std::tie(p.request.PacketSize, p.request.Timeout) = std::tie(c.packetSize, c.timeout);
    EXPECT_EQ(p.Run(), ResultSuccess) << c.packetSize << ", " << c.timeout;
    EXPECT_EQ(std::tie(p.platform.sentSize, p.result.SentSize, p.platform.sentTimeout),
              std::tie(c.wireSize, c.packetSize, c.waitMs))
        << c.packetSize << ", " << c.timeout;
  }
}

}  // namespace
}  // namespace kelvoran
