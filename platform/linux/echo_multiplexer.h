#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "engine/echo_probe.h"
#include "engine/echo_service.h"
#include "platform/linux/echo_socket.h"

namespace kelvoran {

class ResultMailbox;

// Probes many hosts from one thread: one ICMP socket per family, requests
// sent as the scheduler hands them over, replies and errors matched to their
// probe by sequence number in one poll loop, time-outs from a timer queue.
// Each probe is prepared and recorded by the steps RunEchoProbe takes, and
// each packet checked by the matchers the thread-per-probe exchange uses, so
// results, codes and values are those of a probe on its own thread.
//
// It takes only hosts given as an address: resolving a name may wait for a
// name server for seconds, which would hold every other probe's reply.
class EchoMultiplexer final : public EchoService {
 public:
  EchoMultiplexer(ResultMailbox& mailbox, EchoSocketChoice choice);
  // Jobs still held are freed unrecorded; after the closing wait there are none.
  ~EchoMultiplexer() override;
  EchoMultiplexer(const EchoMultiplexer&) = delete;
  EchoMultiplexer& operator=(const EchoMultiplexer&) = delete;

  // Starts the loop's thread; false when there is none, or no eventfd.
  bool Open();
  bool Take(ProbeJobPtr& job) override;
  void Wake() override;

 private:
  using SteadyClock = std::chrono::steady_clock;
  static constexpr std::size_t kSequences = 65536;

  struct Waiting {
    ProbeJobPtr Job;
    PreparedEcho Echo;
  };
  struct InFlight {
    ProbeJobPtr Job;
    EchoDestination Destination;
    std::vector<unsigned char> Request;  // as sent: its data must come back
    SteadyClock::time_point SentAt;
    std::uint64_t Serial = 0;
  };
  // One socket of one family and its probes, by sequence number.
  struct Channel {
    int Fd = -1;
    bool Ipv6 = false;
    EchoSocketKind Kind = EchoSocketKind::Raw;
    std::uint16_t Identifier = 0;
    bool IdentifierKnown = false;
    bool SendBlocked = false;  // the send buffer was full: wait for POLLOUT
    std::uint16_t NextSequence = 0;
    std::size_t InFlightCount = 0;
    std::vector<std::unique_ptr<InFlight>> Slots;
    std::deque<Waiting> Queue;  // prepared, waiting for a sequence or the buffer
  };
  struct Deadline {
    SteadyClock::time_point At;
    std::uint8_t ChannelIndex;
    std::uint16_t Sequence;
    std::uint64_t Serial;
    bool operator>(const Deadline& other) const { return At > other.At; }
  };

  void Run();
  int PollTimeoutMs() const;
  void StartHandedOver();
  void Start(ProbeJobPtr job);
  Channel* OpenChannel(bool ipv6, ProbeResult& result);
  void SendQueued(Channel& channel, std::uint8_t index);
  bool Send(Channel& channel, std::uint8_t index, Waiting& waiting);
  void ReadReplies(Channel& channel, std::uint8_t index);
  void ReadErrors(Channel& channel, std::uint8_t index);
  void Complete(Channel& channel, std::uint8_t index, std::uint16_t sequence,
                const std::optional<TimedEchoReply>& reply);
  void ExpireDue();
  void Finish(ProbeJobPtr job);

  ResultMailbox& mailbox_;
  EchoSocketChoice choice_;
  int wakeFd_ = -1;
  std::mutex lock_;
  std::vector<ProbeJobPtr> handedOver_;
  bool closing_ = false;
  // Owned by the loop's thread from here on.
  std::array<Channel, 2> channels_;  // IPv4, IPv6
  std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>> deadlines_;
  std::uint64_t nextSerial_ = 1;
  std::unique_ptr<unsigned char[]> buffer_;
  std::thread thread_;
};

// Makes a started EchoMultiplexer for the scheduler, or null when none starts.
EchoServiceMaker LinuxEchoService(EchoSocketChoice choice = EchoSocketChoice::PingThenRaw);

}  // namespace kelvoran
