#!/usr/bin/env bash
# Resident memory (VmRSS) of the program with 1,000 hosts, against the same
# program with an empty KELVORAN.INI (main window, menu, toolbar, status bar,
# empty list) and against an empty wx frame (build/bench/empty_frame). Read
# 12 s after the window shows, once the start-up About box has closed itself.
#
#   tests/ui/with-xvfb bench/memory.sh build/ui/kelvoran build/bench/empty_frame [HOSTS]
set -euo pipefail
usage="usage: memory.sh KELVORAN EMPTY_FRAME [HOSTS]"
program=$(realpath "${1:?$usage}")
empty_frame=$(realpath "${2:?$usage}")
hosts=${3:-1000}
source "$(dirname "$0")/app_bench_lib.sh"

rss_of() {  # rss_of PROGRAM HOSTS: VmRSS in kB
  bench_start_app "$1" "$(bench_work_dir "$2")"
  bench_wait_for_window
  sleep 12
  bench_rss_kb
  bench_stop_app
}

frame=$(rss_of "$empty_frame" 0)
empty=$(rss_of "$program" 0)
full=$(rss_of "$program" "$hosts")
echo "VmRSS, empty wx frame:          $frame kB"
echo "VmRSS, program, no hosts:       $empty kB"
echo "VmRSS, program, $hosts hosts:   $full kB"
echo "1,000 hosts over empty frame:   $((full - frame)) kB"
echo "1,000 hosts over no hosts:      $((full - empty)) kB"
