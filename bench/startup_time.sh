#!/usr/bin/env bash
# Time from starting the program with a 1,000-host KELVORAN.INI until its main
# window is mapped, and what the host list adds to it: runs with the hosts and
# runs with an empty file take turns, so that a change in the machine's load
# or its caches falls on both alike, and the difference of their medians is
# the list's cost. The window is found by polling xdotool every 10 ms, which
# bounds the resolution. The CPU time of the program's threads by then is
# shown as well, and it is the figure to trust: on a loaded machine the wall
# time mostly measures the other processes.
#
#   tests/ui/with-xvfb bench/startup_time.sh build/ui/kelvoran [RUNS] [HOSTS]
#
# The same for an empty wx frame, the floor set by the toolkit's own start:
#
#   tests/ui/with-xvfb bench/startup_time.sh build/bench/empty_frame 7 0
set -euo pipefail
program=$(realpath "${1:?usage: startup_time.sh KELVORAN [RUNS] [HOSTS]}")
runs=${2:-7}
hosts=${3:-1000}
source "$(dirname "$0")/app_bench_lib.sh"

# time_start HOSTS: one start; prints "wall-ms cpu-ms".
time_start() {
  local dir start end cpu
  dir=$(bench_work_dir "$1")
  start=$(date +%s%N)
  bench_start_app "$program" "$dir"
  bench_wait_for_window
  end=$(date +%s%N)
  cpu=$(bench_cpu_ns)
  bench_stop_app
  echo "$(((end - start) / 1000000)) $((cpu / 1000000))"
}

bench_warm_up "$program"
for _ in $(seq "$runs"); do
  time_start "$hosts" >>"$bench_scratch/list"
  time_start 0 >>"$bench_scratch/empty"
done
report() {
  echo "median start to window shown, $1: $(cut -d' ' -f1 "$2" | median) ms," \
    "CPU time by then $(cut -d' ' -f2 "$2" | median) ms"
}
report "$hosts hosts" "$bench_scratch/list"
report "no hosts" "$bench_scratch/empty"
list_wall=$(cut -d' ' -f1 "$bench_scratch/list" | median)
empty_wall=$(cut -d' ' -f1 "$bench_scratch/empty" | median)
list_cpu=$(cut -d' ' -f2 "$bench_scratch/list" | median)
empty_cpu=$(cut -d' ' -f2 "$bench_scratch/empty" | median)
awk -v lw="$list_wall" -v ew="$empty_wall" -v lc="$list_cpu" -v ec="$empty_cpu" -v n="$hosts" \
  'BEGIN { printf "the %d-host list adds %d ms to the start (%d ms of CPU)\n", n, lw - ew, lc - ec }'
