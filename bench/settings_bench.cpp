// Costs of the host settings file: loading the host list at start-up,
// saving one host's section after an Add or Edit, and an import's one save of
// many new hosts, on the real disk.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "fake_host_rows.h"
#include "portable/private_profile.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

// A settings file of `hosts` full sections in a fresh temporary directory.
class SettingsFile {
 public:
  explicit SettingsFile(int hosts) {
    std::ofstream out(path(), std::ios::binary);
    for (int i = 0; i < hosts; ++i) {
      // Appended, not "h" + std::to_string(i): GCC 12 at -O3 takes that
      // operator+ for an overlapping copy and warns (-Wrestrict).
      std::string name = "h";
      name += std::to_string(i);
      out << "[" << name << "]\nHost=" << name << "\nTimeout=5\nDelay=30\nPacketSize=64\n"
          << "FailPeriod=120\nSuccessPeriod=60\nPopupDestination=ops,desk\n"
          << "PopupMessage=" << name << " is down\nDescription=Switch in rack " << i << "\n";
    }
  }
  std::string path() const { return dir_.File(kHostSettingsFile); }

 private:
  testing::TempDir dir_;
};

// The start-up load: the 10240-byte list of section names holds about 1,900
// of these names, so at 10,000 hosts the rest of the file is parsed but not
// loaded.
void BM_LoadHostList(benchmark::State& state) {
  const SettingsFile file(static_cast<int>(state.range(0)));
  std::int64_t rows = 0;
  for (auto _ : state) {
    testing::FakeHostRows list;
    if (!LoadHostList(list, file.path()).ok()) state.SkipWithError("load failed");
    rows = list.RowCount();
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_LoadHostList)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

// Reading the file once and loading every one of its sections, without the
// limit of the names list: the cost of the parser and the lookups alone.
void BM_LoadEverySection(benchmark::State& state) {
  const SettingsFile file(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ProfileText text;
    if (!ReadProfile(file.path(), text).ok()) state.SkipWithError("read failed");
    for (const std::string_view name : text.SectionNames()) {
      HostRecord record;
      benchmark::DoNotOptimize(LoadHostSettings(record, name, text));
    }
  }
}
BENCHMARK(BM_LoadEverySection)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

// One Add or Edit: read, change one section, write a new file, flush it and
// the directory, rename it into place.
void BM_SaveOneHost(benchmark::State& state) {
  const SettingsFile file(static_cast<int>(state.range(0)));
  HostRecord host;
  host.Host = "h500";
  int edit = 0;
  for (auto _ : state) {
    host.Description = "edit " + std::to_string(edit++);
    if (!SaveHostSettings(host, host.Host, file.path()).ok()) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveOneHost)->Arg(1'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The part of a save that is not the disk's: read, change, serialise.
void BM_EditOneHostInMemory(benchmark::State& state) {
  const SettingsFile file(static_cast<int>(state.range(0)));
  int edit = 0;
  for (auto _ : state) {
    ProfileText text;
    if (!ReadProfile(file.path(), text).ok()) state.SkipWithError("read failed");
    text.SetValue("h500", "Description", "edit " + std::to_string(edit++));
    benchmark::DoNotOptimize(text.Serialize());
  }
}
BENCHMARK(BM_EditOneHostInMemory)->Arg(1'000)->Unit(benchmark::kMillisecond);

// Host > Import's save: `range(0)` new hosts added to a file of 1,000 in one
// write. Every host is a new section at the end of the file, so this is where
// a cost per line that grows with the file shows.
void BM_ImportHosts(benchmark::State& state) {
  std::vector<HostRecord> hosts(static_cast<std::size_t>(state.range(0)));
  std::vector<const HostRecord*> added;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    hosts[i].Host = "import" + std::to_string(i) + ".example.net";
    hosts[i].Description = "imported";
    added.push_back(&hosts[i]);
  }
  for (auto _ : state) {
    state.PauseTiming();
    const SettingsFile file(1'000);
    state.ResumeTiming();
    if (!SaveHostSettings(added, file.path()).ok()) state.SkipWithError("save failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImportHosts)
    ->Arg(10'000)
    ->Arg(30'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace kelvoran
