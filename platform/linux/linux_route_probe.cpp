#include "platform/linux/linux_route_probe.h"

#include <unistd.h>

#include <chrono>

#include "engine/result_text.h"
#include "platform/linux/linux_echo_probe.h"
#include "platform/local_names.h"
#include "route/address_text.h"

namespace kelvoran {
namespace {

// Echo data of a path probe: enough to tell our requests from others' in
// what a router quotes (RFC 1812 routers quote more than the 8 header bytes).
constexpr unsigned char kProbeData[] = "Kelvoran path probe 0123";

class SocketCloser {
 public:
  explicit SocketCloser(int fd) : fd_(fd) {}
  ~SocketCloser() { close(fd_); }
  SocketCloser(const SocketCloser&) = delete;
  SocketCloser& operator=(const SocketCloser&) = delete;

 private:
  int fd_;
};

}  // namespace

HopAnswer ToHopAnswer(int hopLimit, const HopLimitedEcho& echo) {
  HopAnswer answer;
  answer.HopLimit = hopLimit;
  const PacketMatch& match = echo.Match;
  if (match.Verdict == PacketVerdict::Foreign) return answer;
  // A reassembly time-out or a source quench says nothing about the path.
  if (match.Status == IpTtlExpiredReassem || match.Status == IpSourceQuench) return answer;
  answer.From = match.From;
  answer.RoundTripMicros = echo.RoundTripMicros;
  if (match.Verdict == PacketVerdict::EchoReply) {
    answer.Kind = HopAnswerKind::EchoReply;
  } else if (match.Status == IpTtlExpiredTransit) {
    answer.Kind = HopAnswerKind::TimeExceeded;
  } else {
    answer.Kind = HopAnswerKind::Unreachable;
    answer.Status = match.Status;
  }
  return answer;
}

std::optional<EchoDestination> LinuxRoutePlatform::Resolve(const std::string& host) {
  LinuxEchoPlatform echoPlatform(choice_);
  return FindEchoDestination(host, echoPlatform);
}

std::vector<HopAnswer> LinuxRoutePlatform::SendWithHopLimits(const EchoDestination& destination,
                                                             std::span<const int> hopLimits,
                                                             std::uint32_t timeoutMs) {
  std::int32_t error = 0;
  const int fd = OpenEchoSocket(choice_, IsIpv6(destination), error);
  if (fd < 0) return {};
  const SocketCloser closer(fd);
  // The terminating zero stays home.
  const Bytes data(kProbeData, sizeof kProbeData - 1);
  const auto echoes = ExchangeHopLimitedEchoes(fd, destination, hopLimits, data, timeoutMs);
  std::vector<HopAnswer> answers;
  for (std::size_t i = 0; i < echoes.size(); ++i)
    answers.push_back(ToHopAnswer(hopLimits[i], echoes[i]));
  return answers;
}

std::string LinuxRoutePlatform::ReverseName(const EchoDestination& address,
                                            std::uint32_t timeoutMs) {
  return ReverseNameWithin(AddressText(address), std::chrono::milliseconds(timeoutMs));
}

}  // namespace kelvoran
