#!/usr/bin/env bash
# CPU use of the running program with 1,000 loopback hosts at Delay 10, left
# alone: utime + stime from /proc/PID/stat over a window that starts once the
# start-up is over (the start-up About box has closed by itself). At the
# default of one probe started per second each host is probed about every
# 1,000 s; RATE 100 probes each every 10 s.
#
#   tests/ui/with-xvfb bench/idle_cpu.sh build/ui/kelvoran [SECONDS] [HOSTS] [RATE]
set -euo pipefail
program=$(realpath "${1:?usage: idle_cpu.sh KELVORAN [SECONDS] [HOSTS] [RATE]}")
seconds=${2:-60}
hosts=${3:-1000}
rate=${4:-1}
source "$(dirname "$0")/app_bench_lib.sh"

bench_start_app "$program" "$(bench_work_dir "$hosts" "$rate")"
bench_wait_for_window
sleep 12
before=$(bench_cpu_ticks)
sleep "$seconds"
after=$(bench_cpu_ticks)
bench_stop_app
hz=$(getconf CLK_TCK)
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v n="$hosts" -v r="$rate" \
  'BEGIN { every = n / r < 10 ? 10 : n / r
           printf "CPU, %d hosts at Delay 10, %d probes started per second (each probed every %d s): %.3f %% (%d ticks of 1/%d s in %d s)\n",
           n, r, every, 100 * t / hz / s, t, hz, s }'
