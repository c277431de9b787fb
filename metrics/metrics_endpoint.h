#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/result_sink.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_access.h"
#include "metrics/metrics_collector.h"
#include "metrics/metrics_server.h"

namespace kelvoran {

class HostRows;

// The metrics endpoint of a running monitor: hears every result as one of the
// scheduler's sinks, and while it serves, copies the rows' figures at the end
// of a tick, at most about once a second, into a snapshot the server's
// thread takes under a short lock. A scrape builds its text from the latest
// snapshot and never waits for a tick; a tick never waits for a scrape.
class MetricsEndpoint final : public ResultSink {
 public:
  // `probesInFlight` is read on the monitor's thread only (the scheduler's
  // OutstandingProbes).
  MetricsEndpoint(HostRows& rows, const std::int32_t& probesInFlight);
  ~MetricsEndpoint() override;

  // The monitor's own figures, asked for at each capture on the monitor's
  // thread: it must answer without waiting (no lock held across I/O).
  // Without one they are not served.
  using ProgramFiguresSource = std::function<ProgramFigures()>;
  void SetProgramFigures(ProgramFiguresSource source) { programFigures_ = std::move(source); }

  // Serves on `address` in place of wherever it served before. Nothing on
  // success; otherwise what went wrong, in a sentence, and nothing is served.
  // The counters run while it serves, from the first Serve: a list of
  // 50,000 hosts would otherwise keep 5 MB of counts nobody reads.
  // Serving elsewhere keeps them; StopServing forgets them, and a later
  // Serve starts them again from zero, a reset scrapers expect of a counter.
  std::optional<std::string> Serve(const ListenAddress& address, const MetricsAccess& access = {});
  void StopServing();
  bool Serving() const { return server_ != nullptr; }

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override;

 private:
  void Capture();
  // On the server's thread.
  MetricsPage CurrentPage(const char* accept);

  HostRows& rows_;
  const std::int32_t& probesInFlight_;
  MetricsCollector collector_;
  ProgramFiguresSource programFigures_;
  std::chrono::steady_clock::time_point lastCapture_;

  std::mutex latestMutex_;
  std::shared_ptr<const MetricsSnapshot> latest_;

  // The server's thread's alone: the text of each format and the snapshot it
  // was built from, so that scrapes within one second build it once.
  struct BuiltText {
    std::shared_ptr<const MetricsSnapshot> snapshot;
    std::shared_ptr<const std::string> text;
  };
  std::array<BuiltText, 2> texts_;

  // Last: it goes first, and its thread with it.
  std::unique_ptr<MetricsServer> server_;
};

}  // namespace kelvoran
