#!/usr/bin/env bash
# The path probe under Wine through a chain of three routers:
#
#   probe 198.18.21.2 ── .1 r1 198.18.22.1 ── .2 r2 198.18.23.1 ── .2 r3
#         198.18.24.1 ── .2 destination
#
# Each router answers from the address facing the probe, so hop limits 1 to 4
# meet 198.18.21.1, 198.18.22.2, 198.18.23.2 and 198.18.24.2. The test program
# runs once as the chain is, then once with r2, r3 and the destination in turn
# dropping all that reaches them from the probe's side: its answers must end
# at the hop before; then with r3 refusing to forward, and as a user without
# raw sockets. Wine sends ICMP from its own service process, so its whole
# session (a prefix of the script's own) runs in the probe's namespace. Only
# 198.18.0.0/15 (RFC 2544 test range) is used, inside these namespaces.
#
#   route_chain_windows.sh TEST.EXE
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
program=${1:?usage: route_chain_windows.sh TEST.EXE}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build network namespaces"
  exit 77
fi
prefix=kvrw-$$
probe=$prefix-probe
scratch=$(mktemp -d)
chmod 755 "$scratch"
export WINEDEBUG=-all
# One Wine session as root, whose ICMP goes through raw sockets, one as
# nobody, whose ICMP goes through ping sockets.
unprivileged=65534
as() {  # as root|nobody COMMAND...: in the probe's namespace, in that user's session
  local user=(env) home=$scratch/$1
  [[ $1 == nobody ]] && user=(setpriv --reuid=$unprivileged --regid=$unprivileged --clear-groups env)
  ip netns exec "$probe" "${user[@]}" HOME="$home" WINEPREFIX="$home/wine" "${@:2}"
}
cleanup() {
  as root wineserver -k 2>/dev/null || true
  as nobody wineserver -k 2>/dev/null || true
  for ns in probe r1 r2 r3 destination; do ip netns del "$prefix-$ns" 2>/dev/null || true; done
  rm -rf "$scratch" "/etc/netns/$probe"
}
trap cleanup EXIT

in_ns() { ip netns exec "$prefix-$1" "${@:2}"; }

new_ns() {
  ip netns add "$prefix-$1"
  ip -n "$prefix-$1" link set lo up
  # Time-exceeded messages in bursts: no per-host or per-namespace limit.
  in_ns "$1" sysctl -qw net.ipv4.icmp_ratelimit=0 net.ipv4.icmp_msgs_burst=10000 \
    net.ipv4.icmp_msgs_per_sec=100000 net.ipv4.ip_forward=1
}

link() {  # link NS_A DEV_A ADDRESS_A NS_B DEV_B ADDRESS_B
  ip -n "$prefix-$1" link add "$2" type veth peer name "$5" netns "$prefix-$4"
  ip -n "$prefix-$1" addr add "$3" dev "$2"
  ip -n "$prefix-$4" addr add "$6" dev "$5"
  ip -n "$prefix-$1" link set "$2" up
  ip -n "$prefix-$4" link set "$5" up
}

for ns in probe r1 r2 r3 destination; do new_ns "$ns"; done
link probe p0 198.18.21.2/24 r1 r1a 198.18.21.1/24
link r1 r1b 198.18.22.1/24 r2 r2a 198.18.22.2/24
link r2 r2b 198.18.23.1/24 r3 r3a 198.18.23.2/24
link r3 r3b 198.18.24.1/24 destination d0 198.18.24.2/24
ip -n "$probe" route add 198.18.0.0/15 via 198.18.21.1
ip -n "$prefix-r1" route add 198.18.0.0/15 via 198.18.22.2
ip -n "$prefix-r2" route add 198.18.21.0/24 via 198.18.22.1
ip -n "$prefix-r2" route add 198.18.24.0/24 via 198.18.23.2
ip -n "$prefix-r3" route add 198.18.0.0/15 via 198.18.23.1
ip -n "$prefix-destination" route add 198.18.0.0/15 via 198.18.24.1

# Names for the reverse lookups; no name server, so others fail at once.
mkdir -p "/etc/netns/$probe"
printf '%s\n' '127.0.0.1 localhost' '198.18.21.1 kv-r1' '198.18.22.2 kv-r2' '198.18.23.2 kv-r3' \
  '198.18.24.2 kv-destination' >"/etc/netns/$probe/hosts"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"/etc/netns/$probe/resolv.conf"
in_ns probe ping -q -c 1 -W 5 198.18.24.2 >/dev/null

# The nobody user may open ping sockets; a new namespace lets no one.
in_ns probe sysctl -qw net.ipv4.ping_group_range="0 $unprivileged"

# As scripts/test-windows: the server first, then wineboot's first start.
start_session() {
  mkdir -p "$scratch/$1/wine"
  [[ $1 == nobody ]] && chown -R $unprivileged:$unprivileged "$scratch/$1"
  as "$1" wineserver -p </dev/null >/dev/null 2>&1
  as "$1" env WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i </dev/null >/dev/null 2>&1
}
start_session root

launch=$(realpath "$(dirname "$0")/../../cmake/wine-launch")
run() {  # run USER LAST_ANSWERING_HOP GTEST_FILTER [VARIABLE=VALUE...]
  as "$1" "${@:4}" KELVORAN_ROUTE_HOPS="198.18.21.1 198.18.22.2 198.18.23.2 198.18.24.2" \
    KELVORAN_ROUTE_NAMES="kv-r1 kv-r2 kv-r3 kv-destination" KELVORAN_ROUTE_LAST="$2" \
    "$launch" "$program" --gtest_filter="$3"
}

# Dropping in the raw table's PREROUTING: before the router's forwarding
# code, which sends time-exceeded, sees the packet.
drop() { in_ns "$1" iptables -t raw -A PREROUTING -i "$2" -j DROP; }
undrop() { in_ns "$1" iptables -t raw -F PREROUTING; }

status=0
run root 4 '*' || status=1
for case in "r2 r2a 1" "r3 r3a 2" "destination d0 3"; do
  read -r ns device last <<<"$case"
  echo "== dropping at $ns: the answers end at hop $last"
  drop "$ns" "$device"
  run root "$last" 'WindowsRouteChain.*' || status=1
  undrop "$ns"
done
echo "== r3 refuses to forward: host unreachable from hop 3 on"
in_ns r3 iptables -A FORWARD -j REJECT --reject-with icmp-host-unreachable
run root 3 'WindowsRouteChain.*' KELVORAN_ROUTE_REJECTED=1 || status=1
in_ns r3 iptables -F FORWARD
# The program where it holds no raw socket: a copy the nobody user can read.
echo "== as nobody: ping sockets"
start_session nobody
install -m 755 "$program" "$scratch/nobody/test.exe"
program=$scratch/nobody/test.exe
run nobody 4 'WindowsRouteChain.*' || status=1
exit $status
