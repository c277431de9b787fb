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
  server_.reset();
  // The first scrape finds the hosts as they are now, not an empty list.
  Capture();
  std::string problem;
  server_ = MetricsServer::Start(
      address, access, [this](const char* accept) { return CurrentPage(accept); }, problem);
  if (!server_) return problem;
  return std::nullopt;
}

void MetricsEndpoint::StopServing() {
  server_.reset();
  collector_ = MetricsCollector();
}

void MetricsEndpoint::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                    std::int32_t statusBefore) {
  if (server_) collector_.ResultApplied(host, result, statusBefore);
}

void MetricsEndpoint::TickEnded() {
  if (!server_ || std::chrono::steady_clock::now() - lastCapture_ < kCaptureInterval) return;
  Capture();
}

void MetricsEndpoint::Capture() {
  lastCapture_ = std::chrono::steady_clock::now();
  MetricsSnapshot captured = collector_.Capture(rows_, probesInFlight_, SystemClock());
  if (programFigures_) captured.program = programFigures_();
  auto snapshot = std::make_shared<const MetricsSnapshot>(std::move(captured));
  const std::lock_guard lock(latestMutex_);
  latest_ = std::move(snapshot);
}

MetricsPage MetricsEndpoint::CurrentPage(const char* accept) {
  std::shared_ptr<const MetricsSnapshot> latest;
  {
    const std::lock_guard lock(latestMutex_);
    latest = latest_;
  }
  const ExpositionFormat format = NegotiatedFormat(accept ? accept : "");
  BuiltText& built = texts_[static_cast<std::size_t>(format)];
  if (latest != built.snapshot || !built.text) {
    built.text =
        std::make_shared<const std::string>(ExpositionText(*latest, KELVORAN_VERSION, format));
    built.snapshot = std::move(latest);
  }
  return {built.text, ContentTypeOf(format)};
}

}  // namespace kelvoran
