#!/usr/bin/env bash
# Time from starting the program with a 1,000-host KELVORAN.INI until its main
# window is mapped; the median of several runs. The window is found by
# polling xdotool every 10 ms, which bounds the resolution. The program's CPU
# time by then (utime + stime) is shown as well: on a loaded machine the wall
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

hz=$(getconf CLK_TCK)
bench_warm_up "$program"
for _ in $(seq "$runs"); do
  dir=$(bench_work_dir "$hosts")
  start=$(date +%s%N)
  bench_start_app "$program" "$dir"
  bench_wait_for_window
  end=$(date +%s%N)
  cpu=$(bench_cpu_ticks)
  bench_stop_app
  echo "$(((end - start) / 1000000)) $((cpu * 1000 / hz))"
done >"$bench_scratch/times"
sed 's/\(.*\) \(.*\)/\1 ms (CPU \2 ms)/' "$bench_scratch/times"
echo "median start to window shown, $hosts hosts: $(cut -d' ' -f1 "$bench_scratch/times" | median) ms," \
  "CPU time by then $(cut -d' ' -f2 "$bench_scratch/times" | median) ms"
