#include "metrics/metrics_endpoint.h"

#include "engine/scheduler.h"
#include "metrics/exposition.h"
#include "metrics/metrics_server.h"

namespace kelvoran {
namespace {

// The ticks come once a second, give or take a few milliseconds: a tick a
// little early must not skip its capture.
constexpr std::chrono::milliseconds kCaptureInterval{900};

}  // namespace

MetricsEndpoint::MetricsEndpoint(HostRows& rows, const std::int32_t& probesInFlight)
    : rows_(rows), probesInFlight_(probesInFlight) {}

MetricsEndpoint::~MetricsEndpoint() = default;

std::optional<std::string> MetricsEndpoint::Serve(const ListenAddress& address,
                                                  const MetricsAccess& access) {
  StopServing();
  // The first scrape finds the hosts as they are now, not an empty list.
  Capture();
  std::string problem;
  server_ = MetricsServer::Start(
      address, access, [this] { return CurrentText(); }, problem);
  if (!server_) return problem;
  return std::nullopt;
}

void MetricsEndpoint::StopServing() { server_.reset(); }

void MetricsEndpoint::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                    std::int32_t statusBefore) {
  collector_.ResultApplied(host, result, statusBefore);
}

void MetricsEndpoint::TickEnded() {
  if (!server_ || std::chrono::steady_clock::now() - lastCapture_ < kCaptureInterval) return;
  Capture();
}

void MetricsEndpoint::Capture() {
  lastCapture_ = std::chrono::steady_clock::now();
  auto snapshot = std::make_shared<const MetricsSnapshot>(
      collector_.Capture(rows_, probesInFlight_, SystemClock()));
  const std::lock_guard lock(latestMutex_);
  latest_ = std::move(snapshot);
}

std::shared_ptr<const std::string> MetricsEndpoint::CurrentText() {
  std::shared_ptr<const MetricsSnapshot> latest;
  {
    const std::lock_guard lock(latestMutex_);
    latest = latest_;
  }
  if (latest != textSnapshot_ || !text_) {
    text_ = std::make_shared<const std::string>(ExpositionText(*latest, KELVORAN_VERSION));
    textSnapshot_ = std::move(latest);
  }
  return text_;
}

}  // namespace kelvoran
