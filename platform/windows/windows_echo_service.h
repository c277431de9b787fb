#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/echo_service.h"

namespace kelvoran {

class ResultMailbox;

// Probes many hosts from one thread: every request goes out with
// IcmpSendEcho2 (Icmp6SendEcho2) on one ICMP handle per family, with a
// completion routine instead of a blocking call. The thread waits alertably,
// and Windows runs each request's routine on it once its reply or time-out
// has come. Each probe is prepared and recorded by the steps RunEchoProbe
// takes, and each reply read as the blocking call's, so results, codes and
// values are those of a probe on its own thread.
//
// It takes only hosts given as an address, as on Linux: a name could keep a
// name server waiting, and every other probe with it.
class WindowsEchoService final : public EchoService {
 public:
  explicit WindowsEchoService(ResultMailbox& mailbox);
  // Waits until the requests still in flight have completed (each within its
  // time-out): Windows writes their replies into buffers owned here. Jobs
  // handed over and not started are freed unrecorded.
  ~WindowsEchoService() override;
  WindowsEchoService(const WindowsEchoService&) = delete;
  WindowsEchoService& operator=(const WindowsEchoService&) = delete;

  // Starts the service's thread; false when there is none, or no event.
  bool Open();
  bool Take(ProbeJobPtr& job) override;
  void Wake() override;

  // One request in flight; its completion routine hands it back here.
  struct Request;
  void Complete(std::unique_ptr<Request> request);

 private:
  void Run();
  void Start(ProbeJobPtr job);
  void* HandleFor(bool ipv6, ProbeResult& result);
  void Finish(ProbeJobPtr job);

  ResultMailbox& mailbox_;
  void* wake_ = nullptr;  // an auto-reset event
  std::mutex lock_;
  std::vector<ProbeJobPtr> handedOver_;
  bool closing_ = false;
  // Owned by the service's thread from here on.
  void* icmp_[2] = {nullptr, nullptr};  // IPv4, IPv6; null until opened
  std::size_t inFlight_ = 0;
  std::thread thread_;
};

// Makes a started WindowsEchoService for the scheduler, or null when none
// starts.
EchoServiceMaker WindowsEchoServiceMaker();

}  // namespace kelvoran
