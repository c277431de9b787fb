#include "platform/windows/windows_route_probe.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>

#include "platform/detached_thread.h"
#include "platform/local_names.h"
#include "platform/windows/icmp_replies.h"
#include "platform/windows/windows_echo_probe.h"
#include "route/address_text.h"

namespace kelvoran {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Any bytes will do; 32, as the ping command sends.
constexpr std::uint16_t kEchoDataBytes = 32;
// Windows ends each request itself at its time-out and signals the request's
// event then: the wait allows this much more for that signal.
constexpr std::chrono::milliseconds kCompletionGrace{500};

// One echo request: the event it signals once answered or timed out, and the
// buffer its reply record is written into.
struct HopRequest {
  int HopLimit = 0;
  HANDLE Event = nullptr;
  std::vector<unsigned char> Replies;
  SteadyClock::time_point Sent;
  bool Pending = false;
};

// The requests of one call and the ICMP handle they went through. Windows
// writes a late reply into its request's buffer, so all of it stays until no
// request is pending any more.
struct RequestBatch {
  HANDLE Icmp = INVALID_HANDLE_VALUE;
  EchoDestination Destination;
  std::array<unsigned char, kEchoDataBytes> Data{};
  std::vector<HopRequest> Requests;

  explicit RequestBatch(const EchoDestination& destination) : Destination(destination) {}
  RequestBatch(const RequestBatch&) = delete;
  RequestBatch& operator=(const RequestBatch&) = delete;
  ~RequestBatch() {
    for (const HopRequest& request : Requests) {
      if (request.Event != nullptr) CloseHandle(request.Event);
    }
    if (Icmp != INVALID_HANDLE_VALUE) IcmpCloseHandle(Icmp);
  }
  bool Ipv6() const { return IsIpv6(Destination); }
};

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

// The parse calls return the number of records, and with none put the
// request's IP status (IP_REQ_TIMED_OUT...) in GetLastError.
HopAnswer ReadReply(const RequestBatch& batch, HopRequest& request) {
  const auto size = static_cast<DWORD>(request.Replies.size());
  const bool ipv6 = batch.Ipv6();
  const DWORD records = ipv6 ? Icmp6ParseReplies(request.Replies.data(), size)
                             : IcmpParseReplies(request.Replies.data(), size);
  if (records == 0) return AnswerWithStatus(request.HopLimit, GetLastError(), ipv6);
  HopAnswer answer;
  if (ipv6) {
    Icmp6EchoRecord record;
    std::memcpy(&record, request.Replies.data(), sizeof record);
    answer = AnswerWithStatus(request.HopLimit, record.Status, ipv6);
    answer.From = AddressOf(record.Address);
  } else {
    ICMP_ECHO_REPLY record;
    std::memcpy(&record, request.Replies.data(), sizeof record);
    answer = AnswerWithStatus(request.HopLimit, record.Status, ipv6);
    answer.From = Ipv4Address{record.Address};
  }
  if (answer.Kind == HopAnswerKind::Silent) answer.From = Ipv4Address{0};
  return answer;
}

// The record's round trip is in whole milliseconds, 0 on a fast link: the
// time from the send to the event is the finer measure.
HopAnswer FinishedAnswer(const RequestBatch& batch, HopRequest& request) {
  HopAnswer answer = ReadReply(batch, request);
  if (answer.Kind != HopAnswerKind::Silent) {
    const auto elapsed = SteadyClock::now() - request.Sent;
    answer.RoundTripMicros = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
  }
  return answer;
}

// With an event the call returns at once: ERROR_IO_PENDING while the request
// is out, another status when it could not be sent. The hop limit travels in
// the request's IP options; the data and the options are only read.
DWORD SendWithEvent(RequestBatch& batch, HopRequest& request, std::uint32_t timeoutMs) {
  IP_OPTION_INFORMATION options{};
  options.Ttl = static_cast<UCHAR>(std::clamp(request.HopLimit, 1, 255));
  const auto replySize = static_cast<DWORD>(request.Replies.size());
  request.Sent = SteadyClock::now();
  DWORD records = 0;
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&batch.Destination)) {
    sockaddr_in6 source = SocketAddressOf(Ipv6Address{});  // unspecified: the stack picks one
    sockaddr_in6 to = SocketAddressOf(*ipv6);
    records =
        Icmp6SendEcho2(batch.Icmp, request.Event, nullptr, nullptr, &source, &to, batch.Data.data(),
                       kEchoDataBytes, &options, request.Replies.data(), replySize, timeoutMs);
  } else {
    records = IcmpSendEcho2(batch.Icmp, request.Event, nullptr, nullptr,
                            std::get<Ipv4Address>(batch.Destination), batch.Data.data(),
                            kEchoDataBytes, &options, request.Replies.data(), replySize, timeoutMs);
  }
  return records != 0 ? IP_SUCCESS : GetLastError();
}

HopAnswer Send(RequestBatch& batch, HopRequest& request, std::uint32_t timeoutMs) {
  request.Replies.resize(ReplyBufferSize(kEchoDataBytes));
  request.Event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Not sent for want of an event: nothing was said about the path.
  if (request.Event == nullptr) return HopAnswer{.HopLimit = request.HopLimit};
  const DWORD sent = SendWithEvent(batch, request, timeoutMs);
  request.Pending = sent == ERROR_IO_PENDING;
  if (request.Pending) return HopAnswer{.HopLimit = request.HopLimit};
  // Finished already: a reply in the buffer, or a status such as a route the
  // stack refuses.
  if (sent == IP_SUCCESS) return FinishedAnswer(batch, request);
  return AnswerWithStatus(request.HopLimit, sent, batch.Ipv6());
}

// Waits for the requests' events in the order they are signalled, until all
// are or the deadline passes.
void AwaitAnswers(RequestBatch& batch, std::vector<HopAnswer>& answers,
                  SteadyClock::time_point deadline) {
  for (;;) {
    std::vector<HANDLE> events;
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < batch.Requests.size(); ++i) {
      if (!batch.Requests[i].Pending) continue;
      events.push_back(batch.Requests[i].Event);
      indexes.push_back(i);
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (events.empty() || left <= 0) return;
    const DWORD signalled = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(),
                                                   FALSE, static_cast<DWORD>(left));
    if (signalled >= WAIT_OBJECT_0 + events.size()) return;  // time-out, or no wait at all
    const std::size_t index = indexes[signalled - WAIT_OBJECT_0];
    batch.Requests[index].Pending = false;
    answers[index] = FinishedAnswer(batch, batch.Requests[index]);
  }
}

bool AnyPending(const RequestBatch& batch) {
  return std::ranges::any_of(batch.Requests, &HopRequest::Pending);
}

void WaitForAll(const RequestBatch& batch) {
  for (const HopRequest& request : batch.Requests) {
    if (request.Pending) WaitForSingleObject(request.Event, INFINITE);
  }
}

// A request past the deadline is silent, but Windows may still write into
// its buffer: a thread of its own waits for it before all is freed. With no
// thread to be had, this one waits.
void FreeWhenFinished(std::unique_ptr<RequestBatch> batch) {
  const std::shared_ptr<RequestBatch> shared(std::move(batch));
  if (!StartDetachedThread([shared] { WaitForAll(*shared); })) WaitForAll(*shared);
}

// WaitForMultipleObjects takes at most MAXIMUM_WAIT_OBJECTS events, so
// longer lists go in turns of that many.
std::vector<HopAnswer> SendBatch(const EchoDestination& destination, std::span<const int> hopLimits,
                                 std::uint32_t timeoutMs) {
  auto batch = std::make_unique<RequestBatch>(destination);
  batch->Icmp = batch->Ipv6() ? Icmp6CreateFile() : IcmpCreateFile();
  // Nothing can be sent: the tracer records a failed path, not a silent one.
  if (batch->Icmp == INVALID_HANDLE_VALUE) return {};
  std::vector<HopAnswer> answers;
  for (const int hopLimit : hopLimits) answers.push_back(HopAnswer{.HopLimit = hopLimit});
  const auto deadline =
      SteadyClock::now() + std::chrono::milliseconds(timeoutMs) + kCompletionGrace;
  batch->Requests.resize(hopLimits.size());
  for (std::size_t i = 0; i < hopLimits.size(); ++i) {
    batch->Requests[i].HopLimit = hopLimits[i];
    answers[i] = Send(*batch, batch->Requests[i], timeoutMs);
  }
  AwaitAnswers(*batch, answers, deadline);
  if (AnyPending(*batch)) FreeWhenFinished(std::move(batch));
  return answers;
}

}  // namespace

std::optional<EchoDestination> WindowsRoutePlatform::Resolve(const std::string& host) {
  WindowsEchoPlatform echo;
  return FindEchoDestination(host, echo);
}

std::vector<HopAnswer> WindowsRoutePlatform::SendWithHopLimits(const EchoDestination& destination,
                                                               std::span<const int> hopLimits,
                                                               std::uint32_t timeoutMs) {
  std::vector<HopAnswer> answers;
  answers.reserve(hopLimits.size());
  for (std::size_t first = 0; first < hopLimits.size(); first += MAXIMUM_WAIT_OBJECTS) {
    const auto turn = hopLimits.subspan(
        first, std::min<std::size_t>(MAXIMUM_WAIT_OBJECTS, hopLimits.size() - first));
    const std::vector<HopAnswer> part = SendBatch(destination, turn, timeoutMs);
    if (part.empty()) return {};
    answers.insert(answers.end(), part.begin(), part.end());
  }
  return answers;
}

std::string WindowsRoutePlatform::ReverseName(const EchoDestination& address,
                                              std::uint32_t timeoutMs) {
  return ReverseNameWithin(AddressText(address), std::chrono::milliseconds(timeoutMs));
}

}  // namespace kelvoran
