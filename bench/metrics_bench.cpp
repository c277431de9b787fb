// The metrics endpoint's two costs: the copy the tick pays at the end of each
// second (Capture) and the text a scrape builds on the server's thread, for
// a list of 5,000 hosts that have answered and failed.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "engine/result_text.h"
#include "fake_host_rows.h"
#include "metrics/exposition.h"
#include "metrics/metrics_collector.h"

namespace kelvoran {
namespace {

constexpr int kHosts = 5000;

void FillList(testing::FakeHostRows& rows, MetricsCollector& collector) {
  for (int i = 0; i < kHosts; ++i) {
    HostRecord& host = rows.Add();
    host.Host = "host-" + std::to_string(i) + ".example.net";
    host.Description = "rack " + std::to_string(i % 40) + " \"core\"";
    host.Status = i % 3;
    host.ReceivedCount = 100;
    host.MinResponse = 1;
    host.AvgResponse = 12;
    host.MaxResponse = 250;
    ProbeResult result;
    for (std::uint32_t rtt : {1u, 12u, 80u, 400u}) {
      result.RoundTripTime = rtt;
      collector.ResultApplied(host, result, host.Status);
    }
    result.ResultCode = ResultNoReply;
    collector.ResultApplied(host, result, host.Status);
  }
}

void BM_CaptureOfAList(benchmark::State& state) {
  testing::FakeHostRows rows;
  MetricsCollector collector;
  FillList(rows, collector);
  for (auto _ : state) benchmark::DoNotOptimize(collector.Capture(rows, 10, 1000));
  state.SetLabel(std::to_string(kHosts) + " hosts");
}
BENCHMARK(BM_CaptureOfAList)->Unit(benchmark::kMillisecond);

void BM_TextOfAScrape(benchmark::State& state) {
  testing::FakeHostRows rows;
  MetricsCollector collector;
  FillList(rows, collector);
  const MetricsSnapshot snapshot = collector.Capture(rows, 10, 1000);
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = ExpositionText(snapshot, "2.2");
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetLabel(std::to_string(kHosts) + " hosts, " + std::to_string(bytes / 1024) + " KB");
}
BENCHMARK(BM_TextOfAScrape)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelvoran

BENCHMARK_MAIN();
