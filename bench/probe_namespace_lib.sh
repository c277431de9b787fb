# shellcheck shell=bash
# Shared by the bench/*.sh scripts that run the real program inside the test
# network's probe namespace (tests/net/test_network.sh): sourced, not run.

# use_test_network NETWORK: the prefix of a test network built with NETWORK
# (tests/net/test_network.sh) for this run, and a scratch folder; both
# removed on exit, after the program ($app) is killed. Sets network, prefix,
# scratch and app.
use_test_network() {
  network=$1
  # test_network.sh removes kvp-<pid>-* of processes that died without tearing down.
  prefix=kvp-$$
  scratch=$(mktemp -d)
  app=
  trap remove_test_network EXIT
}

remove_test_network() {
  [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
  bash "$network" down "$prefix" || true
  rm -rf "$scratch"
}

# start_in_probe_namespace DIR PREFIX KELVORAN [ARG...]: runs the program with
# ARGs in DIR, which holds its KELVORAN.INI and profile; it reports its rows
# to DIR/rows, its output goes to DIR/output. Sets $app: ip netns exec
# replaces itself with the program, so that is the program's pid.
start_in_probe_namespace() {
  (cd "$1" && XDG_CONFIG_HOME="$1" KELVORAN_ROW_REPORT="$1/rows" \
    exec ip netns exec "$2-probe" "$3" "${@:4}" </dev/null >"$1/output" 2>&1) &
  # shellcheck disable=SC2034 # read by the sourcing script
  app=$!
}

# cpu_ticks PID: the process's user plus system time so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# cpu_seconds COMMAND...: the user + system time of the command and of the
# children it waited for, from bash's time; its output goes to $scratch/out.
cpu_seconds() {
  local TIMEFORMAT='%3U %3S' times
  times=$( { time "$@" >"$scratch/out" 2>&1; } 2>&1)
  echo "$times" | awk '{print $1 + $2}'
}

# route_big_address_space PREFIX: more room than the test network's own /24s,
# still inside 198.18.0.0/15 and only inside PREFIX's namespaces:
# 198.19.0.0/18 answered by the peer's kernel, 198.19.64.0/18 dropped by the
# router, 198.19.128.0/18 rejected by it with ICMP host unreachable.
route_big_address_space() {
  ip -n "$1-peer" route add local 198.19.0.0/18 dev lo
  ip -n "$1-peer" route add 198.19.0.0/18 via 198.18.5.1
  ip -n "$1-router" route add 198.19.0.0/18 via 198.18.5.2
  ip -n "$1-router" route add blackhole 198.19.64.0/18
  ip -n "$1-router" route add 198.19.128.0/18 via 198.18.2.2
  ip netns exec "$1-router" iptables -A FORWARD -d 198.19.128.0/18 -j REJECT \
    --reject-with icmp-host-unreachable
}

# answered_hosts_network PREFIX HOSTS: routes 64,000 addresses that the
# peer's kernel answers (198.19.0.0/18, 198.19.192.0/18, 198.18.128.0/17) and
# prints the first HOSTS of them, one a line, in that order.
answered_hosts_network() {
  route_big_address_space "$1"
  local space
  for space in 198.19.192.0/18 198.18.128.0/17; do
    ip -n "$1-peer" route add local "$space" dev lo
    ip -n "$1-router" route add "$space" via 198.18.5.2
  done
  # awk stops at HOSTS itself: a head in a pipe would fail a pipefail script.
  awk -v n="$2" 'function block(net, from, to,  b, h) {
      for (b = from; b <= to; b++)
        for (h = 1; h <= 250; h++) { if (printed++ == n) exit; print net "." b "." h }
    }
    BEGIN { block("198.19", 0, 63); block("198.19", 192, 255); block("198.18", 128, 255) }'
}

# big_host_list HOSTS [DELAY]: a KELVORAN.INI on stdout for HOSTS hosts in
# that space, in every 10: 8 answered, 1 dropped, 1 rejected; Delay DELAY
# (10 unless given), Timeout 1.
big_host_list() {
  awk -v n="$1" -v delay="${2:-10}" 'BEGIN {
    for (i = 0; i < n; i++) {
      # A probe counts as in flight until the tick after its result: a dropped
      # one (Timeout 1) holds its place for two ticks, an answered one for one.
      kind = i % 10 < 8 ? 0 : i % 10 - 7
      block = kind * 64
      k = int(i / 10) * (kind == 0 ? 8 : 1) + (kind == 0 ? i % 10 : 0)
      printf "[h%d]\nHost=198.19.%d.%d\nDelay=%d\nTimeout=1\n", i, block + int(k / 250), \
        k % 250 + 1, delay
    }
  }'
}
