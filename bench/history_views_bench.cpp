// What the history windows compute from recorded results, at the sizes the
// windows must stay quick with: a month of one-second results of one host, a
// million results exported, a hundred thousand changes of status.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "engine/host_record.h"
#include "engine/result_text.h"
#include "history/csv_export.h"
#include "history/range_summary.h"
#include "platform/local_time.h"

namespace kelvoran {
namespace {

constexpr HistoryTime kStart = 1'800'000'000'000;
constexpr std::size_t kMonthOfSeconds = 30 * 24 * 3600;

std::vector<HistorySample> Samples(std::size_t count) {
  std::mt19937 random(7);
  std::vector<HistorySample> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const bool failed = random() % 100 == 0;
    samples[i] = {kStart + static_cast<HistoryTime>(i) * 1000, failed ? 11010 : 0,
                  failed ? 0u : 1 + static_cast<std::uint32_t>(random() % 80),
                  failed ? StatusWarning : StatusOk};
  }
  return samples;
}

void BM_PlotColumnsOfAMonth(benchmark::State& state) {
  const std::vector<HistorySample> samples = Samples(kMonthOfSeconds);
  const int width = static_cast<int>(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(PlotColumns(samples, kStart, kStart + kMonthOfSeconds * 1000, width));
}
BENCHMARK(BM_PlotColumnsOfAMonth)->Arg(1200)->Unit(benchmark::kMillisecond);

void BM_SummariseAMonth(benchmark::State& state) {
  const std::vector<HistorySample> samples = Samples(kMonthOfSeconds);
  for (auto _ : state) benchmark::DoNotOptimize(SummariseRange(samples));
}
BENCHMARK(BM_SummariseAMonth)->Unit(benchmark::kMillisecond);

void BM_ExportMillionSamples(benchmark::State& state) {
  const std::vector<HistorySample> samples = Samples(1'000'000);
  const auto path = std::filesystem::temp_directory_path() / "kelvoran-bench-export.csv";
  for (auto _ : state) {
    std::ofstream out(path, std::ios::binary);
    WriteSamplesCsv(out, "gateway.example", samples, IsoTimeWriter(LocalUtcOffset),
                    [](std::int32_t code) { return ResultText(code, 0); });
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_ExportMillionSamples)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ChangeLogOfHundredThousand(benchmark::State& state) {
  std::vector<HistoryChange> changes;
  for (int i = 0; i < 100'000; ++i)
    changes.push_back({kStart + i * 60'000LL, "host-" + std::to_string(i % 500),
                       i % 2 ? StatusError : StatusWarning, i % 2 ? StatusWarning : StatusError,
                       "Request timed out."});
  for (auto _ : state) benchmark::DoNotOptimize(ChangeLog(changes));
}
BENCHMARK(BM_ChangeLogOfHundredThousand)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelvoran

BENCHMARK_MAIN();
