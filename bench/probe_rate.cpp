// The scheduler probing a host list at a set pace, for bench/probe_rate_compare
// and bench/probe_rate_sustained inside the test network (`ip netns exec`),
// and for bench/probe_rate_windows under Wine:
//
//   probe_rate [--threads] [--socket auto|ping|raw] [--delay SECONDS]
//              [--round-trips ADDRESSES_FILE] RATE HOSTS_FILE SECONDS
//
// The hosts of HOSTS_FILE (one a line), each due every --delay seconds (1
// unless given), 32 data bytes, Timeout 1; RATE probes a tick, one tick a
// second, on the platform's echo service (the multiplexer on Linux, the
// completion-routine service on Windows) or, with --threads, a thread each.
// Prints the process's CPU time (user + system, every thread) per finished
// probe, the probes, the failures, the CPU time as a share of one core over
// the run, and how far each host's probe-to-probe interval strayed from its
// Delay (worst and 99th percentile, whole seconds: a result's StartTime is
// calendar seconds). For the hosts of ADDRESSES_FILE it prints their round
// trips as the results hold them (whole milliseconds, truncated): a line
// "round_trips ADDRESS MEDIAN MAX COUNT" each.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "engine/result_mailbox.h"
#include "engine/result_sink.h"
#include "engine/scheduler.h"
#include "fake_host_rows.h"
#ifdef _WIN32
#include "platform/windows/windows_echo_probe.h"
#include "platform/windows/windows_echo_service.h"
#else
#include "platform/linux/echo_multiplexer.h"
#include "platform/linux/linux_echo_probe.h"
#endif

namespace {

// Rows found by id through a map, as a long list needs: the fake's search
// from the top would cost more than the probes measured.
class BenchRows : public kelvoran::testing::FakeHostRows {
 public:
  void FormatRow(int) override {}
  int FindRowByHostId(std::int32_t hostId) const override {
    const auto found = rowOf_.find(hostId);
    return found == rowOf_.end() ? -1 : found->second;
  }
  void AddHost(const std::string& address, std::int32_t delay) {
    kelvoran::HostRecord& host = Add();
    host.Host = address;
    host.Delay = delay;
    host.Timeout = 1;
    host.PacketSize = 32;
    rowOf_[host.HostId] = RowCount() - 1;
  }

 private:
  std::unordered_map<std::int32_t, int> rowOf_;
};

// Hears every result: the interval since the host's previous probe started,
// less its Delay, counted by size; and the round trips of the watched hosts.
class ResultWatch final : public kelvoran::ResultSink {
 public:
  void Watch(const std::string& address) { roundTrips_[address]; }
  void ResultApplied(const kelvoran::HostRecord& host, const kelvoran::ProbeResult& result,
                     std::int32_t) override {
    auto [previous, first] = lastStart_.try_emplace(host.HostId, result.StartTime);
    if (!first) {
      ++deviations_[std::abs(result.StartTime - previous->second - host.Delay)];
      previous->second = result.StartTime;
    }
    const auto watched = roundTrips_.find(host.Host);
    if (watched != roundTrips_.end() && result.ResultCode == 0)
      watched->second.push_back(result.RoundTripTime);
  }
  void TickEnded() override {}

  // The deviation that `share` of all intervals stay within (1 for the worst).
  long long DeviationWithin(double share) const {
    unsigned long long total = 0, seen = 0;
    for (const auto& [deviation, count] : deviations_) total += count;
    for (const auto& [deviation, count] : deviations_) {
      seen += count;
      if (static_cast<double>(seen) >= share * static_cast<double>(total)) return deviation;
    }
    return 0;
  }
  void PrintRoundTrips() {
    for (auto& [address, trips] : roundTrips_) {
      if (trips.empty()) continue;
      std::sort(trips.begin(), trips.end());
      std::printf("round_trips %s %u %u %zu\n", address.c_str(), trips[trips.size() / 2],
                  trips.back(), trips.size());
    }
  }

 private:
  std::unordered_map<std::int32_t, kelvoran::CalendarTime> lastStart_;
  std::map<long long, unsigned long long> deviations_;
  std::map<std::string, std::vector<std::uint32_t>> roundTrips_;
};

#ifdef _WIN32
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto seconds = [](const FILETIME& t) {  // 100 ns units
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

kelvoran::ProbeFunction EchoProbe(const std::string&) { return kelvoran::WindowsEchoProbe(); }
kelvoran::EchoServiceMaker EchoService(const std::string&) {
  return kelvoran::WindowsEchoServiceMaker();
}
#else
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

kelvoran::EchoSocketChoice SocketChoice(const std::string& kind) {
  using kelvoran::EchoSocketChoice;
  return kind == "ping"  ? EchoSocketChoice::PingOnly
         : kind == "raw" ? EchoSocketChoice::RawOnly
                         : EchoSocketChoice::PingThenRaw;
}
kelvoran::ProbeFunction EchoProbe(const std::string& socket) {
  return kelvoran::LinuxEchoProbe(SocketChoice(socket));
}
kelvoran::EchoServiceMaker EchoService(const std::string& socket) {
  return kelvoran::LinuxEchoService(SocketChoice(socket));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  bool threads = false;
  std::string socket = "auto", roundTripHosts;
  std::int32_t delay = 1;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    const std::string option = argv[arg];
    if (option == "--threads") threads = true;
    const bool valued = arg + 1 < argc;
    if (option == "--socket" && valued) socket = argv[++arg];
    if (option == "--delay" && valued) delay = std::max(1, std::atoi(argv[++arg]));
    if (option == "--round-trips" && valued) roundTripHosts = argv[++arg];
  }
  if (argc - arg != 3) {
    std::fprintf(stderr,
                 "usage: %s [--threads] [--socket auto|ping|raw] [--delay SECONDS]\n"
                 "          [--round-trips ADDRESSES_FILE] RATE HOSTS_FILE SECONDS\n",
                 argv[0]);
    return 2;
  }
  const long rate = std::stol(argv[arg]), seconds = std::stol(argv[arg + 2]);

  BenchRows rows;
  std::ifstream hostsFile(argv[arg + 1]);
  for (std::string address; std::getline(hostsFile, address);) rows.AddHost(address, delay);
  ResultWatch watch;
  std::ifstream watchFile(roundTripHosts);
  for (std::string address; std::getline(watchFile, address);) watch.Watch(address);
  kelvoran::ResultMailbox mailbox;
  kelvoran::ProbeScheduler scheduler(mailbox, EchoProbe(socket), kelvoran::PopupSender{});
  scheduler.SetProbesPerTick(rate);
  scheduler.SetResultSink(&watch);
  if (!threads) scheduler.SetEchoService(EchoService(socket));

  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  auto tick = start;
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
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

  unsigned long probes = 0, failures = 0;
  for (int row = 0; row < rows.RowCount(); ++row) {
    probes += rows.RecordAt(row).SentCount;
    failures += rows.RecordAt(row).FailedCount;
  }
  std::printf(
      "cpu_us_per_probe %.1f probes %lu failures %lu rate_asked %ld probes_per_tick %d "
      "cpu_share %.3f interval_deviation_worst %lld interval_deviation_p99 %lld\n",
      probes ? cpu * 1e6 / static_cast<double>(probes) : 0.0, probes, failures, rate,
      scheduler.ProbesPerTick(), cpu / wall.count(), watch.DeviationWithin(1.0),
      watch.DeviationWithin(0.99));
  watch.PrintRoundTrips();
}
