# shellcheck shell=bash
# Shared by the bench/*.sh scripts that run the real program inside the test
# network's probe namespace (tests/net/test_network.sh): sourced, not run.

# start_in_probe_namespace DIR PREFIX KELVORAN: runs the program in DIR, which
# holds its KELVORAN.INI and profile; it reports its rows to DIR/rows, its
# output goes to DIR/output. Sets $app: ip netns exec replaces itself with the
# program, so that is the program's pid.
start_in_probe_namespace() {
  (cd "$1" && XDG_CONFIG_HOME="$1" KELVORAN_ROW_REPORT="$1/rows" \
    exec ip netns exec "$2-probe" "$3" </dev/null >"$1/output" 2>&1) &
  # shellcheck disable=SC2034 # read by the sourcing script
  app=$!
}

# cpu_ticks PID: the process's user plus system time so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
