#!/usr/bin/env bash
# A path probe against traceroute -I and mtr --report on the same namespace
# network (tests/net/route_network.sh: three routers, then the destination):
# the wall time of one path and the echo requests it sent, counted by a
# firewall rule in the probe's namespace. Once with the destination
# answering, once with it dropping everything (a host gone down), in IPv4
# and IPv6.
#
#   bench/route_vs_traceroute.sh BUILD/bench/route_trace
#
# Needs root, and the Debian packages traceroute and mtr-tiny, which no test
# needs and scripts/packages.txt therefore does not list: install them with
# apt-get install traceroute mtr-tiny. The tools run with their defaults
# (traceroute: 3 probes a hop, up to 30 hops, 16 at once, waits of 5 s, 3x
# and 10x the nearby hops' time; mtr: 10 cycles a second apart), mtr also
# with -c 3, the path probe's 3 echoes a hop; the path probe with its own
# (3 rounds, 1 s each, names looked up in the probe's hosts file).
set -Eeuo pipefail

route_trace=$(realpath "$1")
network=$(dirname "$(realpath "$0")")/../tests/net/route_network.sh
for tool in traceroute mtr; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install traceroute mtr-tiny" >&2; exit 1; }
done
prefix=kvr-$$
trap 'bash "$network" down "$prefix"' EXIT
bash "$network" up "$prefix"
probe=$prefix-probe

# A counting rule per family; -Z on reading sets it back to 0.
ip netns exec "$probe" iptables -A OUTPUT -p icmp --icmp-type echo-request
ip netns exec "$probe" ip6tables -A OUTPUT -p icmpv6 --icmpv6-type echo-request
echo_requests() {
  local v4 v6
  v4=$(ip netns exec "$probe" iptables -L OUTPUT -v -x -n -Z | awk '/icmptype 8/ {print $1}')
  v6=$(ip netns exec "$probe" ip6tables -L OUTPUT -v -x -n -Z | awk '/ipv6-icmptype 128/ {print $1}')
  echo $((v4 + v6))
}

# measure LABEL COMMAND...: one row of the table.
measure() {
  local label=$1 started ended
  echo_requests >/dev/null
  started=$(date +%s.%N)
  ip netns exec "$probe" "${@:2}" >/dev/null 2>&1 || true
  ended=$(date +%s.%N)
  printf '%-34s %8.2f s %6d echo requests\n' "$label" "$(echo "$ended - $started" | bc)" \
    "$(echo_requests)"
}

for scenario in answering down; do
  [[ $scenario == down ]] && bash "$network" drop "$prefix" dest
  for destination in 198.18.44.2 2001:2:0:44::2; do
    echo "== $destination, destination $scenario"
    measure "path probe (ping socket)" "$route_trace" "$destination" ping
    measure "path probe (raw socket)" "$route_trace" "$destination" raw
    measure "traceroute -I" traceroute -I -n "$destination"
    measure "mtr --report" mtr --report -n "$destination"
    measure "mtr --report -c 3" mtr --report -n -c 3 "$destination"
  done
done
