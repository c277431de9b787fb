# Shared by the bench/*.sh scripts that run the real program: sourced, not run.
# Each needs an X server (run it under tests/ui/with-xvfb) and the program's
# path as its first argument.

# Polling interval of the window search, and how long a start may take.
readonly POLL_SECONDS=0.01
readonly START_LIMIT_SECONDS=30

bench_scratch=$(mktemp -d)
bench_app=
trap 'bench_stop_app; rm -rf "$bench_scratch"' EXIT

# bench_work_dir HOSTS [PROBES_PER_SECOND] [DELAY] [OPTIONS]: a fresh working directory
# whose KELVORAN.INI holds HOSTS loopback hosts at Delay DELAY (10 unless
# given; 127.0.0.0/8 never leaves the machine), and a fresh profile directory
# that sets the probes started per second (default 1: then each host is
# probed about every HOSTS seconds, not every DELAY) and any more OPTIONS
# lines (KEY=VALUE); prints the working directory.
bench_work_dir() {
  local hosts=$1 rate=${2:-1} delay=${3:-10} options=${4:-} dir
  dir=$(mktemp -d -p "$bench_scratch")
  mkdir -p "$dir/config/Brindlecot"
  printf '[Options]\nProbesPerSecond=%d\n%s\n' "$rate" "$options" \
    >"$dir/config/Brindlecot/Kelvoran by Brindlecot.conf"
  awk -v n="$hosts" -v delay="$delay" 'BEGIN {
    for (i = 0; i < n; i++)
      printf "[host%d]\nHost=127.%d.%d.1\nDelay=%d\nDescription=loopback %d\n\n",
             i, int(i / 250), i % 250, delay, i
  }' >"$dir/KELVORAN.INI"
  echo "$dir"
}

# bench_warm_up PROGRAM: starts and stops the program once, unmeasured. The
# first GTK client of a fresh X server also probes and loads the OpenGL
# libraries (tens of MB, a hundred ms); later clients of the same server do
# not, so without this the first program measured would pay for all.
bench_warm_up() {
  bench_start_app "$1" "$(bench_work_dir 0)"
  bench_wait_for_window
  bench_stop_app
}

# bench_start_app PROGRAM DIR: starts the program in DIR; sets bench_app.
bench_start_app() {
  (cd "$2" && exec env XDG_CONFIG_HOME="$2/config" "$1" </dev/null >"$2/output" 2>&1) &
  bench_output="$2/output"
  bench_app=$!
}

# Whether the program's main window is mapped.
bench_window_shown() {
  [[ -n "$(xdotool search --all --onlyvisible --pid "$bench_app" --name ' - brindlecot\.example$' \
    2>/dev/null)" ]]
}

# Waits until the main window is mapped; fails after START_LIMIT_SECONDS.
bench_wait_for_window() {
  local deadline=$((SECONDS + START_LIMIT_SECONDS))
  until bench_window_shown; do
    if ((SECONDS >= deadline)) || ! kill -0 "$bench_app" 2>/dev/null; then
      echo "the window did not appear; the program said:" >&2
      cat "$bench_output" >&2
      return 1
    fi
    sleep "$POLL_SECONDS"
  done
}

# Closes the program as a logout does and waits for it.
bench_stop_app() {
  [[ -n "$bench_app" ]] || return 0
  kill -TERM "$bench_app" 2>/dev/null || true
  wait "$bench_app" 2>/dev/null || true
  bench_app=
}

# The program's CPU time so far, in clock ticks: utime + stime of
# /proc/PID/stat (fields 14 and 15; the name in field 2 has no spaces here).
bench_cpu_ticks() {
  awk '{ print $14 + $15 }' "/proc/$bench_app/stat"
}

# The CPU time of the program's live threads so far, in ns: the first field
# of each /proc/PID/task/TID/schedstat. Finer than the clock ticks of
# /proc/PID/stat, but threads that have ended are not counted.
bench_cpu_ns() {
  cat /proc/"$bench_app"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { print ns }'
}

# The program's resident set in kB: VmRSS, then its private (RssAnon) and
# file-backed (RssFile: library pages, shared with other processes) parts.
bench_rss_kb() {
  awk '/^(VmRSS|RssAnon|RssFile):/ { printf "%s ", $2 } END { print "" }' \
    "/proc/$bench_app/status"
}

# median: the middle of the numbers on standard input.
median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
