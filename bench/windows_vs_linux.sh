#!/usr/bin/env bash
# The engine benchmarks (engine_bench, settings_bench) run natively on Linux
# and as the Windows programs under Wine, their times side by side. Both are
# built first with the same optimisation (Release): the Linux build in
# build-bench/, the Windows build in build-bench-windows/ with the Google
# Benchmark of scripts/build-benchmark-mingw. Arguments go to every benchmark
# run after the script's own, e.g. --benchmark_filter=Load or
# --benchmark_repetitions=1.
# Needs the "build" and "windows" packages of scripts/packages.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=build-bench
windows=build-bench-windows
benches=(engine_bench settings_bench)

cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux" -j"$(nproc)" --target "${benches[@]}" >/dev/null
cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKELVORAN_BENCHMARK_PREFIX="$(scripts/build-benchmark-mingw)" \
  -DKELVORAN_WXMSW_PREFIX="$(scripts/build-wxmsw)" \
  -DKELVORAN_SQLITE_PREFIX="$(scripts/build-sqlite-mingw)" \
  -DKELVORAN_CURL_PREFIX="$(scripts/build-curl-mingw)" >/dev/null
cmake --build "$windows" -j"$(nproc)" --target "${benches[@]}" >/dev/null

# A Wine prefix of the build's own, its server started and wineboot's
# first-start work done before the first measurement, both detached as they
# outlive the commands that start them (as in scripts/test-windows).
export WINEPREFIX=$PWD/$windows/wine WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
results=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$results"' EXIT
wineserver -p </dev/null >/dev/null 2>&1 || true
WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i </dev/null >/dev/null 2>&1

# The fastest of five runs: other work on the machine only ever adds time.
args=(--benchmark_format=json --benchmark_repetitions=5 "$@")
for bench in "${benches[@]}"; do
  "$linux/bench/$bench" "${args[@]}" >"$results/linux-$bench.json"
  wine "$windows/bench/$bench.exe" "${args[@]}" >"$results/windows-$bench.json"
done

# Wall-clock times, as the benchmarks' own "Time" column: Wine's CPU times
# come in coarser steps.
python3 - "$results" "${benches[@]}" <<'PY'
import json, sys

def runs(side, bench):
    with open(f"{sys.argv[1]}/{side}-{bench}.json") as f:
        fastest = {}
        for run in json.load(f)["benchmarks"]:
            kept = fastest.get(run["run_name"])
            if run["run_type"] == "iteration" and (kept is None or run["real_time"] < kept["real_time"]):
                fastest[run["run_name"]] = run
        return fastest

def shown(run):
    if run is None or run.get("error_occurred"):
        return "-"
    return f"{run['real_time']:.4g} {run['time_unit']}"

print(f"{'Benchmark':34} {'Linux':>12} {'Wine':>12} {'Wine/Linux':>11}")
for bench in sys.argv[2:]:
    linux, wine = runs("linux", bench), runs("windows", bench)
    for name, run in linux.items():
        other = wine.get(name)
        ratio = "-" if "-" in (shown(run), shown(other)) else f"{other['real_time'] / run['real_time']:.2f}"
        print(f"{name:34} {shown(run):>12} {shown(other):>12} {ratio:>11}")
PY
