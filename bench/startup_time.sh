#!/usr/bin/env bash
# Time from starting the program with a 1,000-host KELVORAN.INI until its main
# window is mapped; the median of several runs. The window is found by
# polling xdotool every 10 ms, which bounds the resolution.
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

for _ in $(seq "$runs"); do
  dir=$(bench_work_dir "$hosts")
  start=$(date +%s%N)
  bench_start_app "$program" "$dir"
  bench_wait_for_window
  end=$(date +%s%N)
  bench_stop_app
  echo $(((end - start) / 1000000))
done | tee "$bench_scratch/times" | sed 's/$/ ms/'
echo "median start to window shown, $hosts hosts: $(median <"$bench_scratch/times") ms"
