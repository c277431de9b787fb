// The scheduler probing a host list at a set pace, for bench/probe_rate_compare
// inside the test network (`ip netns exec`):
//
//   probe_rate [--threads] [--socket auto|ping|raw] RATE HOSTS_FILE SECONDS
//
// The hosts of HOSTS_FILE (one a line), each due every second, 32 data bytes,
// Timeout 1; RATE probes a tick, one tick a second, on the echo multiplexer
// or, with --threads, a thread each. Prints the process's CPU time (user +
// system, every thread) per finished probe, the probes and the failures.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unordered_map>

#include "engine/host_record.h"
#include "engine/result_mailbox.h"
#include "engine/scheduler.h"
#include "fake_host_rows.h"
#include "platform/linux/echo_multiplexer.h"
#include "platform/linux/linux_echo_probe.h"

namespace {

using kelvoran::EchoSocketChoice;

// Rows found by id through a map, as a long list needs: the fake's search
// from the top would cost more than the probes measured.
class BenchRows : public kelvoran::testing::FakeHostRows {
 public:
  void FormatRow(int) override {}
  int FindRowByHostId(std::int32_t hostId) const override {
    const auto found = rowOf_.find(hostId);
    return found == rowOf_.end() ? -1 : found->second;
  }
  void AddHost(const std::string& address) {
    kelvoran::HostRecord& host = Add();
    host.Host = address;
    host.Delay = 1;
    host.Timeout = 1;
    host.PacketSize = 32;
    rowOf_[host.HostId] = RowCount() - 1;
  }

 private:
  std::unordered_map<std::int32_t, int> rowOf_;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  bool threads = false;
  EchoSocketChoice socket = EchoSocketChoice::PingThenRaw;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    const std::string option = argv[arg];
    if (option == "--threads") threads = true;
    if (option == "--socket" && arg + 1 < argc) {
      const std::string kind = argv[++arg];
      socket = kind == "ping"  ? EchoSocketChoice::PingOnly
               : kind == "raw" ? EchoSocketChoice::RawOnly
                               : EchoSocketChoice::PingThenRaw;
    }
  }
  if (argc - arg != 3) {
    std::fprintf(stderr, "usage: %s [--threads] [--socket auto|ping|raw] RATE HOSTS_FILE SECONDS\n",
                 argv[0]);
    return 2;
  }
  const long rate = std::stol(argv[arg]), seconds = std::stol(argv[arg + 2]);

  BenchRows rows;
  std::ifstream hostsFile(argv[arg + 1]);
  for (std::string address; std::getline(hostsFile, address);) rows.AddHost(address);
  kelvoran::ResultMailbox mailbox;
  kelvoran::ProbeScheduler scheduler(mailbox, kelvoran::LinuxEchoProbe(socket),
                                     kelvoran::PopupSender{});
  scheduler.SetProbesPerTick(rate);
  if (!threads) scheduler.SetEchoService(kelvoran::LinuxEchoService(socket));

  const double cpuBefore = CpuSeconds();
  auto tick = std::chrono::steady_clock::now();
  for (long second = 0; second < seconds; ++second) {
    scheduler.ProcessTick(rows);
    tick += std::chrono::seconds(1);
    std::this_thread::sleep_until(tick);
  }
  scheduler.SchedulingEnabled = false;
  while (scheduler.OutstandingProbes > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    scheduler.ProcessTick(rows);
  }
  const double cpu = CpuSeconds() - cpuBefore;

  unsigned long probes = 0, failures = 0;
  for (int row = 0; row < rows.RowCount(); ++row) {
    probes += rows.RecordAt(row).SentCount;
    failures += rows.RecordAt(row).FailedCount;
  }
  std::printf("cpu_us_per_probe %.1f probes %lu failures %lu rate_asked %ld probes_per_tick %d\n",
              probes ? cpu * 1e6 / static_cast<double>(probes) : 0.0, probes, failures, rate,
              scheduler.ProbesPerTick());
}
