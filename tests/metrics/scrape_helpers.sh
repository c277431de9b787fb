# shellcheck shell=bash
# Sourced by the metrics endpoint's scenarios: the processes they started,
# a failure with the logs of $dir (which the sourcing script sets), and a
# wait for a log line.
# shellcheck disable=SC2154 # dir: set by the sourcing script
pids=()

# Ends every process in pids.
stop_started() {
  for pid in "${pids[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}

fail() {
  echo "FAIL: $*" >&2
  for log in "$dir"/*.log; do
    echo "--- $log:" >&2
    tail -n 30 "$log" >&2 || true
  done
  exit 1
}

# wait_for LOG REGEX [SECONDS]
wait_for() {
  for _ in $(seq $((${3:-20} * 10))); do
    grep -qE "$2" "$1" && return 0
    sleep 0.1
  done
  fail "no line matching '$2' in $1"
}
