// What the history crash test kills: "history_writer FILE ROUND" records a
// tick of results for ten hosts every 10 ms and prints "0 TICK" after handing
// each over. Never ends by itself. One result in 13 fails. An older file is
// upgraded in chunks of 500 results, so that a kill lands part way through
// a host's summaries almost always.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "history/history_recorder.h"

int main(int argc, char** argv) {
  if (argc != 3) return 1;
  kelvoran::HistoryOptions options;
  options.upgradeChunkRows = 500;
  kelvoran::HistoryRecorder recorder(argv[1], options);
  // Stamped from 2027 on: nothing the retention pass drops.
  const kelvoran::CalendarTime base = 1'800'000'000 + std::stol(argv[2]) * 1'000'000L;
  kelvoran::HostRecord host;
  for (long tick = 0;; ++tick) {
    for (int h = 0; h < 10; ++h) {
      // Not "h" + ..., nor = "h": GCC 12's optimiser warns falsely (-Wrestrict).
      host.Host.assign(1, 'h').append(std::to_string(h));
      const bool failed = (tick + h) % 13 == 0;
      recorder.ResultApplied(
          host,
          {.RoundTripTime = failed ? 0u : static_cast<std::uint32_t>(1 + (tick * 7 + h) % 300),
           .ResultCode = failed ? 11010 : 0,
           .StartTime = base + tick},
          host.Status);
    }
    recorder.TickEnded();
    if (std::printf("0 %ld\n", tick) < 0 || std::fflush(stdout) != 0) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
