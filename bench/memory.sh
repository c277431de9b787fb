#!/usr/bin/env bash
# Resident memory (VmRSS) of the program with 1,000 hosts (or HOSTS), against
# the same program with an empty KELVORAN.INI (main window, menu, toolbar,
# status bar, empty list), whose difference is what the list costs a host,
# and against an empty wx frame (build/bench/empty_frame). Read
# 12 s after the window shows, once the start-up About box has closed itself.
# The private part (RssAnon) is shown apart from library pages (RssFile).
# PROBES_PER_SECOND (1 unless given) sets the pace of the loopback probes:
# at a high one the jobs in flight count too. SECONDS (12 unless given) is
# how long the program with the hosts runs before it is read: at a high pace
# the first minutes add what the results bring (the history's and the route
# planner's knowledge of each host).
#
#   tests/ui/with-xvfb bench/memory.sh build/ui/kelvoran build/bench/empty_frame [HOSTS]
#     [PROBES_PER_SECOND] [SECONDS] [DELAY] [METRICS_PORT]
# DELAY is the hosts' Delay (10 unless given): 50,000 hosts at Delay 5 and
# 10,000 probes a second probe each host on time. METRICS_PORT, when given,
# serves metrics for Prometheus there on 127.0.0.1, whose counts then count
# too.
set -euo pipefail
usage="usage: memory.sh KELVORAN EMPTY_FRAME [HOSTS] [PROBES_PER_SECOND] [SECONDS] [DELAY]
  [METRICS_PORT]"
program=$(realpath "${1:?$usage}")
empty_frame=$(realpath "${2:?$usage}")
hosts=${3:-1000}
rate=${4:-1}
seconds=${5:-12}
delay=${6:-10}
options=
[[ -n "${7:-}" ]] && options="MetricsPort=$7"
source "$(dirname "$0")/app_bench_lib.sh"

rss_of() {  # rss_of PROGRAM HOSTS [SECONDS]: VmRSS RssAnon RssFile in kB
  bench_start_app "$1" "$(bench_work_dir "$2" "$rate" "$delay" "$options")"
  bench_wait_for_window
  sleep "${3:-12}"
  bench_rss_kb
  bench_stop_app
}

bench_warm_up "$empty_frame"
read -r frame frame_anon frame_file < <(rss_of "$empty_frame" 0)
read -r empty empty_anon empty_file < <(rss_of "$program" 0)
read -r full full_anon full_file < <(rss_of "$program" "$hosts" "$seconds")
printf '%-28s %9s %9s %9s\n' "kB" VmRSS RssAnon RssFile
printf '%-28s %9d %9d %9d\n' "empty wx frame" "$frame" "$frame_anon" "$frame_file" \
  "program, no hosts" "$empty" "$empty_anon" "$empty_file" \
  "program, $hosts hosts" "$full" "$full_anon" "$full_file" \
  "$hosts hosts - empty frame" $((full - frame)) $((full_anon - frame_anon)) \
  $((full_file - frame_file)) \
  "$hosts hosts - no hosts" $((full - empty)) $((full_anon - empty_anon)) $((full_file - empty_file))
if ((hosts > 0)); then
  awk -v kb=$((full - empty)) -v n="$hosts" 'BEGIN { printf "%.2f kB of VmRSS a host\n", kb / n }'
fi
