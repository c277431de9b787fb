#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/result_sink.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_access.h"
#include "metrics/metrics_collector.h"

namespace kelvoran {

class HostRows;
class MetricsServer;

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

  // Serves on `address` in place of wherever it served before. Nothing on
  // success; otherwise what went wrong, in a sentence, and nothing is served.
  std::optional<std::string> Serve(const ListenAddress& address, const MetricsAccess& access = {});
  void StopServing();
  bool Serving() const { return server_ != nullptr; }

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  void TickEnded() override;

 private:
  void Capture();
  // On the server's thread.
  std::shared_ptr<const std::string> CurrentText();

  HostRows& rows_;
  const std::int32_t& probesInFlight_;
  MetricsCollector collector_;
  std::chrono::steady_clock::time_point lastCapture_;

  std::mutex latestMutex_;
  std::shared_ptr<const MetricsSnapshot> latest_;

  // The server's thread's alone: the text of the snapshot it was built from,
  // so that scrapes within one second build it once.
  std::shared_ptr<const MetricsSnapshot> textSnapshot_;
  std::shared_ptr<const std::string> text_;

  // Last: it goes first, and its thread with it.
  std::unique_ptr<MetricsServer> server_;
};

}  // namespace kelvoran
