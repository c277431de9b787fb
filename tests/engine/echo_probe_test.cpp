#include "engine/echo_probe.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/result_text.h"

namespace kelvoran {
namespace {

constexpr Ipv4Address kResolved = 0x0A000001;
constexpr Ipv4Address kParsed = 0x0A000002;

// Records every platform call in order and answers as scripted.
struct FakePlatform : EchoPlatform {
  std::vector<std::string> calls;
  CalendarTime clock = 1000;
  std::optional<Ipv4Address> resolved;
  Ipv4Address parsed = kNoAddress;
  std::int32_t openError = 0;
  std::optional<EchoReply> reply;
  Ipv4Address sentTo = 0;
  std::uint16_t sentSize = 0;
  std::uint32_t sentTimeout = 0;

  CalendarTime Now() override {
    calls.push_back("now");
    return clock;
  }
  std::optional<Ipv4Address> ResolveByName(const std::string& host) override {
    calls.push_back("resolve " + host);
    clock += 30;  // a slow resolver
    return resolved;
  }
  Ipv4Address ParseDotted(const std::string& host) override {
    calls.push_back("parse " + host);
    return parsed;
  }
  bool OpenEchoHandle(EchoHandle& handle, std::int32_t& error) override {
    calls.push_back("open");
    handle = 7;
    error = openError;
    return openError == 0;
  }
  std::optional<EchoReply> SendEcho(EchoHandle handle, Ipv4Address destination,
                                    const unsigned char*, std::uint16_t size,
                                    std::uint32_t timeoutMs) override {
    calls.push_back("send " + std::to_string(handle));
    sentTo = destination;
    sentSize = size;
    sentTimeout = timeoutMs;
    return reply;
  }
  void CloseEchoHandle(EchoHandle handle) override {
    calls.push_back("close " + std::to_string(handle));
  }
};

class EchoProbe : public ::testing::Test {
 protected:
  EchoProbe() {
    request.Host = "server";
    request.PacketSize = 32;
    request.Timeout = 2;
    platform.resolved = kResolved;
    platform.reply = EchoReply{0, 12, 32};
  }
  std::int32_t Run() { return RunEchoProbe(request, result, platform); }
  void ExpectNoReplyFields() const {
    EXPECT_EQ(result.RoundTripTime, 0u);
    EXPECT_EQ(result.SentSize, 0u);
    EXPECT_EQ(result.ReplySize, 0u);
  }
  using Calls = std::vector<std::string>;
  ProbeRequest request;
  ProbeResult result;
  FakePlatform platform;
};

TEST_F(EchoProbe, AnsweredEchoFillsTheResultAndClosesTheHandle) {
  result.ResultValue = 99;  // left over from nothing: must be cleared
  EXPECT_EQ(Run(), ResultSuccess);
  EXPECT_EQ(result.ResultCode, ResultSuccess);
  EXPECT_EQ(result.ResultValue, 0);
  EXPECT_EQ(result.RoundTripTime, 12u);
  EXPECT_EQ(result.SentSize, 32u);
  EXPECT_EQ(result.ReplySize, 32u);
  EXPECT_EQ(result.ReplyText[0], '\0');
  EXPECT_EQ(platform.sentTo, kResolved);
  EXPECT_EQ(platform.sentTimeout, 2000u);
  EXPECT_EQ(platform.calls, (Calls{"now", "resolve server", "open", "send 7", "close 7"}));
}

TEST_F(EchoProbe, StartTimeIsTakenBeforeASlowResolution) {
  Run();
  EXPECT_EQ(result.StartTime, 1000);
}

TEST_F(EchoProbe, ResolverIsAskedFirstEvenForDottedText) {
  request.Host = "10.0.0.2";
  platform.parsed = kParsed;
  Run();
  EXPECT_EQ(platform.sentTo, kResolved);
  EXPECT_EQ(platform.calls[1], "resolve 10.0.0.2");

  platform.calls.clear();
  platform.resolved.reset();
  Run();
  EXPECT_EQ(platform.sentTo, kParsed);
  EXPECT_EQ(platform.calls,
            (Calls{"now", "resolve 10.0.0.2", "parse 10.0.0.2", "open", "send 7", "close 7"}));
}

TEST_F(EchoProbe, UnknownHostEndsWith230WithoutOpeningAHandle) {
  platform.resolved.reset();
  EXPECT_EQ(Run(), ResultResolveFailed);
  EXPECT_EQ(result.ResultValue, 0);
  EXPECT_EQ(platform.calls, (Calls{"now", "resolve server", "parse server"}));
}

TEST_F(EchoProbe, TimeoutBelowOneEndsWith100BeforeAnythingIsResolved) {
  for (std::int32_t timeout : {0, -1, INT32_MIN}) {
    platform.calls.clear();
    request.Timeout = timeout;
    EXPECT_EQ(Run(), ResultBadParameter);
    EXPECT_EQ(result.StartTime, 1000);
    EXPECT_EQ(platform.calls, (Calls{"now"}));
  }
}

TEST_F(EchoProbe, HandleThatCannotBeOpenedGives600WithTheErrno) {
  platform.openError = EACCES;
  EXPECT_EQ(Run(), ResultNoEchoHandle);
  EXPECT_EQ(result.ResultValue, EACCES);
  EXPECT_EQ(platform.calls, (Calls{"now", "resolve server", "open"}));
}

TEST_F(EchoProbe, NoReplyGives610AndLeavesTheReplyFieldsZero) {
  platform.reply.reset();
  EXPECT_EQ(Run(), ResultNoReply);
  EXPECT_EQ(result.ResultValue, 0);
  ExpectNoReplyFields();
  EXPECT_EQ(platform.calls.back(), "close 7");
}

TEST_F(EchoProbe, ReplyWithAnErrorStatusBecomesTheResultCodeAndLeavesTheFieldsZero) {
  platform.reply = EchoReply{IpDestHostUnreachable, 3, 32};
  EXPECT_EQ(Run(), IpDestHostUnreachable);
  EXPECT_EQ(result.ResultCode, IpDestHostUnreachable);
  EXPECT_EQ(result.ResultValue, 0);
  ExpectNoReplyFields();
  EXPECT_EQ(platform.calls.back(), "close 7");
}

TEST_F(EchoProbe, WireSizeIsTheLow16BitsWhileSentSizeKeepsTheWholeValue) {
  request.PacketSize = 65536 + 100;
  Run();
  EXPECT_EQ(platform.sentSize, 100);
  EXPECT_EQ(result.SentSize, 65636u);

  request.PacketSize = 0;
  Run();
  EXPECT_EQ(platform.sentSize, 0);
  EXPECT_EQ(result.ResultCode, ResultSuccess);
}

TEST_F(EchoProbe, HugePacketSizeIsAMemoryErrorBeforeAnythingIsSent) {
  for (std::uint32_t size : {kMaxEchoDataBytes + 1, 0xFFFFFFFFu}) {
    platform.calls.clear();
    request.PacketSize = size;
    EXPECT_EQ(Run(), ResultMemoryError);
    EXPECT_EQ(result.StartTime, 1000);
    EXPECT_EQ(platform.calls, (Calls{"now"}));
  }
  request.PacketSize = kMaxEchoDataBytes;
  EXPECT_EQ(Run(), ResultSuccess);
}

TEST_F(EchoProbe, HugeTimeoutSaturatesInsteadOfWrappingToAShortWait) {
  request.Timeout = 4294968;  // x 1000 is just past 2^32
  Run();
  EXPECT_EQ(platform.sentTimeout, UINT32_MAX);
  request.Timeout = INT32_MAX;
  Run();
  EXPECT_EQ(platform.sentTimeout, UINT32_MAX);
}

}  // namespace
}  // namespace kelvoran
