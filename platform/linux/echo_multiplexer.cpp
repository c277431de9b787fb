#include "platform/linux/echo_multiplexer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <new>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include "engine/result_mailbox.h"
#include "engine/result_text.h"
#include "platform/linux/linux_echo_probe.h"
#include "platform/linux/resolver.h"

namespace kelvoran {
namespace {

// The largest IPv4 datagram, which is what a raw socket may hand over.
constexpr std::size_t kMaxDatagramBytes = 65535;
// What the exchange on a thread reads of an error-queue entry: an ICMP error
// quotes at least 8 bytes of our request, which is all that is checked.
constexpr std::size_t kErrorPayloadBytes = 576;
// Sends between two reads of the sockets: a tick hands over up to thousands
// of probes, whose first replies would otherwise overflow the receive buffer
// before the loop read any.
constexpr std::size_t kSendsBetweenReads = 64;
// Reads of one socket before the loop sends and times out again.
constexpr int kReadsPerTurn = 256;
// Room for bursts of replies; the kernel caps it at net.core.rmem_max.
constexpr int kSocketBufferBytes = 4 << 20;

bool IsIpv6Literal(const std::string& host) {
  if (host.find('\0') != std::string::npos) return false;
  in6_addr address{};
  return inet_pton(AF_INET6, host.substr(0, host.find('%')).c_str(), &address) == 1;
}

// Texts that getaddrinfo reads as an address without asking the hosts file or
// a name server, so preparing them never waits.
bool IsAddressText(const std::string& host) {
  return ParseDottedIpv4(host) != kNoAddress || IsIpv6Literal(host);
}

// The probe's platform on the loop: asked for the IPv4 address of an IPv6
// literal, getaddrinfo would send the text to the name servers as a name; no
// IPv4 host can be named that, so the answer is known without asking.
class LoopEchoPlatform : public LinuxEchoPlatform {
 public:
  using LinuxEchoPlatform::LinuxEchoPlatform;
  std::optional<Ipv4Address> ResolveByName(const std::string& host) override {
    if (IsIpv6Literal(host)) return std::nullopt;
    return LinuxEchoPlatform::ResolveByName(host);
  }
};

int MillisecondsUntil(std::chrono::steady_clock::time_point at) {
  const auto ms =
      std::chrono::ceil<std::chrono::milliseconds>(at - std::chrono::steady_clock::now()).count();
  if (ms < 0) return 0;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

EchoMultiplexer::EchoMultiplexer(ResultMailbox& mailbox, EchoSocketChoice choice)
    : mailbox_(mailbox), choice_(choice) {
  channels_[1].Ipv6 = true;
}

EchoMultiplexer::~EchoMultiplexer() {
  if (thread_.joinable()) {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      closing_ = true;
    }
    Wake();
    thread_.join();
  }
  for (const Channel& channel : channels_)
    if (channel.Fd >= 0) close(channel.Fd);
  if (wakeFd_ >= 0) close(wakeFd_);
}

bool EchoMultiplexer::Open() {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  buffer_.reset(new (std::nothrow) unsigned char[kMaxDatagramBytes]);
  if (wakeFd_ < 0 || !buffer_) return false;
  try {
    thread_ = std::thread([this] { Run(); });
    return true;
  } catch (const std::system_error&) {
    return false;  // EAGAIN: no thread to be had
  }
}

bool EchoMultiplexer::Take(ProbeJobPtr& job) {
  if (!IsAddressText(job->Request.Host)) return false;
  const std::lock_guard<std::mutex> hold(lock_);
  handedOver_.push_back(std::move(job));
  return true;
}

void EchoMultiplexer::Wake() {
  const std::uint64_t one = 1;
  // Fails only when the counter is full, and then the loop is awake anyway.
  [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

void EchoMultiplexer::Run() {
  for (;;) {
    std::array<pollfd, 3> polled{};
    std::array<std::uint8_t, 2> channelOf{};
    polled[0] = {wakeFd_, POLLIN, 0};
    nfds_t count = 1;
    for (std::uint8_t index = 0; index < channels_.size(); ++index) {
      const Channel& channel = channels_[index];
      if (channel.Fd < 0) continue;
      const short events = channel.SendBlocked ? POLLIN | POLLOUT : POLLIN;
      channelOf[count - 1] = index;
      polled[count++] = {channel.Fd, events, 0};
    }
    if (poll(polled.data(), count, PollTimeoutMs()) < 0 && errno != EINTR) continue;
    for (nfds_t i = 1; i < count; ++i) {
      const std::uint8_t index = channelOf[i - 1];
      // Both queues on POLLERR too: it also stands for a pending socket error
      // with an empty error queue, which only a normal read clears.
      if (polled[i].revents & (POLLIN | POLLERR)) {
        ReadErrors(channels_[index], index);
        ReadReplies(channels_[index], index);
      }
      if (polled[i].revents & POLLOUT) {
        channels_[index].SendBlocked = false;
        SendQueued(channels_[index], index);
      }
    }
    if (polled[0].revents & POLLIN) {
      std::uint64_t wakes = 0;
      [[maybe_unused]] const ssize_t got = read(wakeFd_, &wakes, sizeof wakes);
      const std::lock_guard<std::mutex> hold(lock_);
      if (closing_) return;
    }
    StartHandedOver();
    ExpireDue();
  }
}

int EchoMultiplexer::PollTimeoutMs() const {
  return deadlines_.empty() ? -1 : MillisecondsUntil(deadlines_.top().At);
}

void EchoMultiplexer::StartHandedOver() {
  std::vector<ProbeJobPtr> jobs;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    jobs.swap(handedOver_);
  }
  std::size_t started = 0;
  for (ProbeJobPtr& job : jobs) {
    Start(std::move(job));
    if (++started % kSendsBetweenReads != 0) continue;
    for (std::uint8_t index = 0; index < channels_.size(); ++index) {
      if (channels_[index].Fd < 0) continue;
      ReadErrors(channels_[index], index);
      ReadReplies(channels_[index], index);
    }
  }
}

void EchoMultiplexer::Start(ProbeJobPtr job) {
  Channel* channel = nullptr;
  try {
    LoopEchoPlatform platform(choice_);
    auto echo = PrepareEcho(job->Request, job->Result, platform);
    if (echo) channel = OpenChannel(IsIpv6(echo->Destination), job->Result);
    if (channel) {
      // Made first, so that no allocation can fail once the job has moved.
      Waiting& waiting = channel->Queue.emplace_back();
      waiting.Job = std::move(job);
      waiting.Echo = std::move(*echo);
    }
  } catch (const std::bad_alloc&) {
    job->Result.ResultCode = ResultMemoryError;
    channel = nullptr;
  }
  if (!channel) return Finish(std::move(job));
  SendQueued(*channel, channel->Ipv6 ? 1 : 0);
}

EchoMultiplexer::Channel* EchoMultiplexer::OpenChannel(bool ipv6, ProbeResult& result) {
  Channel& channel = channels_[ipv6 ? 1 : 0];
  if (channel.Fd >= 0) return &channel;
  channel.Slots.resize(kSequences);
  std::int32_t error = 0;
  channel.Fd = OpenEchoSocket(choice_, ipv6, error);
  if (channel.Fd < 0) {
    // As a probe on its own thread would, the next probe tries again.
    RecordNoEchoHandle(error, result);
    return nullptr;
  }
  for (const int option : {SO_RCVBUF, SO_SNDBUF})
    setsockopt(channel.Fd, SOL_SOCKET, option, &kSocketBufferBytes, sizeof kSocketBufferBytes);
  channel.Kind = KindOfEchoSocket(channel.Fd);
  // Not the identifier of this process's sockets on threads, whose sequence
  // numbers count on their own: their raw sockets and this one see each
  // other's replies.
  channel.Identifier = static_cast<std::uint16_t>(ProcessIdentifier() + 1);
  channel.IdentifierKnown = channel.Kind == EchoSocketKind::Raw;
  // A reply late for a multiplexer gone before, whose raw socket had the
  // same identifier, most likely finds no probe under its number.
  channel.NextSequence = static_cast<std::uint16_t>(std::random_device{}());
  return &channel;
}

void EchoMultiplexer::SendQueued(Channel& channel, std::uint8_t index) {
  while (!channel.Queue.empty() && !channel.SendBlocked && channel.InFlightCount < kSequences) {
    if (!Send(channel, index, channel.Queue.front())) return;
    channel.Queue.pop_front();
  }
}

// False when the send buffer is full: the probe stays queued until POLLOUT.
bool EchoMultiplexer::Send(Channel& channel, std::uint8_t index, Waiting& waiting) {
  // The sequence numbers in flight are unique, so each names one probe; the
  // next free one after the last used keeps a late reply's number unused for
  // as long as possible.
  while (channel.Slots[channel.NextSequence]) ++channel.NextSequence;
  const std::uint16_t sequence = channel.NextSequence;
  std::unique_ptr<InFlight> probe;
  try {
    probe = std::make_unique<InFlight>();
    probe->Request =
        BuildEchoRequest(channel.Identifier, sequence,
                         Bytes(waiting.Echo.Data.get(), waiting.Echo.WireSize), channel.Ipv6);
  } catch (const std::bad_alloc&) {
    waiting.Job->Result.ResultCode = ResultMemoryError;
    Finish(std::move(waiting.Job));
    return true;
  }
  const EchoDestination& destination = waiting.Echo.Destination;
  probe->SentAt = SteadyClock::now();
  int error = SendEchoRequest(channel.Fd, destination, probe->Request);
  // With IP_RECVERR an ICMP error about an earlier request leaves the socket's
  // error pending, and the next send reports that error instead of sending;
  // the error is reported once, so one more try tells what this send does.
  if (error != 0 && error != EAGAIN)
    error = SendEchoRequest(channel.Fd, destination, probe->Request);
  if (error == EAGAIN) {
    channel.SendBlocked = true;
    return false;
  }
  if (error != 0) {
    RecordEchoOutcome(waiting.Job->Request, ToEchoReply(SendFailureReply(error, destination)),
                      waiting.Job->Result);
    Finish(std::move(waiting.Job));
    return true;
  }
  if (!channel.IdentifierKnown) {
    // A ping socket writes its own identifier, chosen at its first send.
    channel.Identifier = PingSocketIdentifier(channel.Fd);
    channel.IdentifierKnown = true;
  }
  probe->Job = std::move(waiting.Job);
  probe->Destination = destination;
  probe->Serial = nextSerial_++;
  deadlines_.push({probe->SentAt + std::chrono::milliseconds(waiting.Echo.TimeoutMs), index,
                   sequence, probe->Serial});
  channel.Slots[sequence] = std::move(probe);
  ++channel.InFlightCount;
  ++channel.NextSequence;
  return true;
}

namespace {

EchoExpectation ExpectationOf(std::uint16_t identifier, std::uint16_t sequence,
                              const EchoDestination& destination, Bytes request) {
  constexpr std::size_t kIcmpHeaderBytes = 8;
  return {destination, identifier, sequence, request.subspan(kIcmpHeaderBytes)};
}

std::optional<TimedEchoReply> Timed(const PacketMatch& match,
                                    std::chrono::steady_clock::time_point sentAt) {
  if (match.Verdict == PacketVerdict::Foreign) return std::nullopt;
  const auto elapsed = std::chrono::steady_clock::now() - sentAt;
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
  return TimedEchoReply{match.Status, static_cast<std::uint64_t>(micros), match.DataSize};
}

}  // namespace

// A reply whose probe is gone (answered, timed out) or was never ours finds
// no probe under its sequence number, or fails that probe's checks.
void EchoMultiplexer::ReadReplies(Channel& channel, std::uint8_t index) {
  for (int reads = 0, failures = 0; reads < kReadsPerTurn && failures < 8; ++reads) {
    EchoDestination from;
    const long got = ReceiveDatagram(channel.Fd, {buffer_.get(), kMaxDatagramBytes}, from);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      ++failures;  // the pending error an ICMP error left: read once
      continue;
    }
    const Bytes packet(buffer_.get(), static_cast<std::size_t>(got));
    const auto sequence = AnsweredSequence(channel.Kind, packet, channel.Ipv6);
    const InFlight* probe = sequence ? channel.Slots[*sequence].get() : nullptr;
    if (probe == nullptr) continue;
    const auto expected =
        ExpectationOf(channel.Identifier, *sequence, probe->Destination, probe->Request);
    const auto match = MatchReceivedPacket(channel.Kind, packet, from, expected);
    if (auto reply = Timed(match, probe->SentAt)) Complete(channel, index, *sequence, reply);
  }
}

void EchoMultiplexer::ReadErrors(Channel& channel, std::uint8_t index) {
  const std::span<unsigned char> buffer(buffer_.get(), kErrorPayloadBytes);
  while (const auto error = ReceiveQueuedError(channel.Fd, buffer)) {
    const auto sequence = QueuedErrorSequence(*error);
    const InFlight* probe = sequence ? channel.Slots[*sequence].get() : nullptr;
    if (probe == nullptr) continue;
    const auto expected =
        ExpectationOf(channel.Identifier, *sequence, probe->Destination, probe->Request);
    if (auto reply = Timed(MatchQueuedError(*error, expected), probe->SentAt))
      Complete(channel, index, *sequence, reply);
  }
}

void EchoMultiplexer::Complete(Channel& channel, std::uint8_t index, std::uint16_t sequence,
                               const std::optional<TimedEchoReply>& reply) {
  const std::unique_ptr<InFlight> probe = std::move(channel.Slots[sequence]);
  --channel.InFlightCount;
  RecordEchoOutcome(probe->Job->Request, ToEchoReply(reply), probe->Job->Result);
  Finish(std::move(probe->Job));
  SendQueued(channel, index);
}

// An entry whose probe was answered stays queued until its time comes; its
// serial no longer matches a probe sent later under the same number.
void EchoMultiplexer::ExpireDue() {
  const auto now = SteadyClock::now();
  while (!deadlines_.empty() && deadlines_.top().At <= now) {
    const Deadline due = deadlines_.top();
    deadlines_.pop();
    Channel& channel = channels_[due.ChannelIndex];
    const InFlight* probe = channel.Slots[due.Sequence].get();
    if (probe != nullptr && probe->Serial == due.Serial)
      Complete(channel, due.ChannelIndex, due.Sequence, std::nullopt);
  }
}

void EchoMultiplexer::Finish(ProbeJobPtr job) { mailbox_.Put(std::move(job)); }

EchoServiceMaker LinuxEchoService(EchoSocketChoice choice) {
  return [choice](ResultMailbox& mailbox) -> std::unique_ptr<EchoService> {
    auto multiplexer = std::make_unique<EchoMultiplexer>(mailbox, choice);
    if (!multiplexer->Open()) return nullptr;
    return multiplexer;
  };
}

}  // namespace kelvoran
