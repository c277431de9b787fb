#include "platform/windows/windows_route_probe.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/local_names.h"
#include "platform/windows/icmp_replies.h"
#include "platform/windows/windows_echo_probe.h"
#include "route/address_text.h"

namespace kelvoran {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Any bytes will do; 32, as the ping command sends.
constexpr std::uint16_t kEchoDataBytes = 32;
// Time exceeded in transit is the router at the hop limit; in reassembly it is
// the host that got the fragments (ICMP type 11 either way, as on Linux).
// Every other IP status the stack reports means the echo cannot get further.
// An ICMPv6 status first takes its IPv4 number.
HopAnswer AnswerWithStatus(int hopLimit, DWORD status, bool ipv6) {
  HopAnswer answer;
  answer.HopLimit = hopLimit;
  if (status == IP_SUCCESS) {
    answer.Kind = HopAnswerKind::EchoReply;
  } else if (status == IP_TTL_EXPIRED_TRANSIT || status == IP_TTL_EXPIRED_REASSEM) {
    answer.Kind = HopAnswerKind::TimeExceeded;
  } else if (const auto reported = ReplyWithoutRecord(ipv6 ? Ipv4Meaning(status) : status)) {
    answer.Kind = HopAnswerKind::Unreachable;
    answer.Status = reported->Status;
  }
  return answer;
}

// The blocking call returns the number of records, and with none puts the
// request's IP status (IP_REQ_TIMED_OUT...) in GetLastError.
HopAnswer ReadReply(int hopLimit, const std::vector<unsigned char>& replies, DWORD records,
                    bool ipv6) {
  if (records == 0) return AnswerWithStatus(hopLimit, GetLastError(), ipv6);
  HopAnswer answer;
  if (ipv6) {
    Icmp6EchoRecord record;
    std::memcpy(&record, replies.data(), sizeof record);
    answer = AnswerWithStatus(hopLimit, record.Status, ipv6);
    answer.From = AddressOf(record.Address);
  } else {
    ICMP_ECHO_REPLY record;
    std::memcpy(&record, replies.data(), sizeof record);
    answer = AnswerWithStatus(hopLimit, record.Status, ipv6);
    answer.From = Ipv4Address{record.Address};
  }
  if (answer.Kind == HopAnswerKind::Silent) answer.From = Ipv4Address{0};
  return answer;
}

// One echo with the hop limit in the request's IP options, waiting for its
// answer: the blocking call, as the echo probe makes it. The record's round
// trip is in whole milliseconds, 0 on a fast link: the time around the call
// is the finer measure.
HopAnswer SendOne(HANDLE icmp, const EchoDestination& destination, int hopLimit,
                  std::uint32_t timeoutMs) {
  std::array<unsigned char, kEchoDataBytes> data{};
  std::vector<unsigned char> replies(ReplyBufferSize(kEchoDataBytes));
  IP_OPTION_INFORMATION options{};
  options.Ttl = static_cast<UCHAR>(std::clamp(hopLimit, 1, 255));
  const auto replySize = static_cast<DWORD>(replies.size());
  const auto sent = SteadyClock::now();
  DWORD records = 0;
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&destination)) {
    sockaddr_in6 source = SocketAddressOf(Ipv6Address{});  // unspecified: the stack picks one
    sockaddr_in6 to = SocketAddressOf(*ipv6);
    records = Icmp6SendEcho2(icmp, nullptr, nullptr, nullptr, &source, &to, data.data(),
                             kEchoDataBytes, &options, replies.data(), replySize, timeoutMs);
  } else {
    records =
        IcmpSendEcho2(icmp, nullptr, nullptr, nullptr, std::get<Ipv4Address>(destination),
                      data.data(), kEchoDataBytes, &options, replies.data(), replySize, timeoutMs);
  }
  HopAnswer answer = ReadReply(hopLimit, replies, records, IsIpv6(destination));
  if (answer.Kind != HopAnswerKind::Silent)
    answer.RoundTripMicros = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - sent).count());
  return answer;
}

}  // namespace

std::optional<EchoDestination> WindowsRoutePlatform::Resolve(const std::string& host) {
  WindowsEchoPlatform echo;
  return FindEchoDestination(host, echo);
}

// A thread per hop limit, each in the blocking call the echo probe makes: all
// are in flight at once, and each reply is written before its call returns.
// (With an event per request and one thread waiting for them all, the program
// crashed under Wine on another thread soon after a path whose hops stayed
// silent; the blocking call leaves nothing of a request behind.)
std::vector<HopAnswer> WindowsRoutePlatform::SendWithHopLimits(const EchoDestination& destination,
                                                               std::span<const int> hopLimits,
                                                               std::uint32_t timeoutMs) {
  const HANDLE icmp = IsIpv6(destination) ? Icmp6CreateFile() : IcmpCreateFile();
  // Nothing can be sent: the tracer records a failed path, not a silent one.
  if (icmp == INVALID_HANDLE_VALUE) return {};
  std::vector<HopAnswer> answers(hopLimits.size());
  {
    std::vector<std::jthread> threads;
    for (std::size_t i = 0; i < hopLimits.size(); ++i) {
      auto send = [&, i] { answers[i] = SendOne(icmp, destination, hopLimits[i], timeoutMs); };
      try {
        threads.emplace_back(send);
      } catch (const std::system_error&) {
        send();  // no thread to be had: this one waits for it
      }
    }
  }
  IcmpCloseHandle(icmp);
  return answers;
}

std::string WindowsRoutePlatform::ReverseName(const EchoDestination& address,
                                              std::uint32_t timeoutMs) {
  return ReverseNameWithin(AddressText(address), std::chrono::milliseconds(timeoutMs));
}

}  // namespace kelvoran
