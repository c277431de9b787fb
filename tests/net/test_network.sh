#!/usr/bin/env bash
# Builds and removes the echo probe's test network: five network namespaces
# joined by veth pairs, all named with a prefix unique to one test run.
#
#   test_network.sh up PREFIX RESPONDER   build it, start the responders
#   test_network.sh down PREFIX           remove it (safe to repeat)
#
#   probe  198.18.1.2 ── 198.18.1.1  router  198.18.2.1 ── 198.18.2.2  target
#                                    │ 198.18.5.1 (mtu 1400)           198.18.10.0/24:
#                                    └── 198.18.5.2  peer              user-space responders
#                                        198.18.6.0/24 answered by the kernel
#
# router rejects 198.18.3.0/24 with ICMP errors, loops 198.18.4.0/24 with
# peer (TTL exceeded) and drops 198.18.9.0/24 silently. 198.18.1.99 is on the
# probe's link but never answers ARP. Only 198.18.0.0/15 (RFC 2544 test
# range) is used, and only inside these namespaces.
set -Eeuo pipefail

down() {
  local prefix=$1 ns
  for ns in $(ip netns list | awk '{print $1}' | grep "^${prefix}-" || true); do
    # Only the responders that this script started live in these namespaces.
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
    ip netns del "$ns" 2>/dev/null || true
  done
  rm -rf /etc/netns/"${prefix}"-* "$(log_dir "$prefix")"
}

log_dir() { echo "${TMPDIR:-/tmp}/$1-responders"; }

# Runs that died without tearing down leave kvp-<pid>-* behind.
remove_leftovers() {
  local prefix pid
  for prefix in $(ip netns list | awk '{print $1}' | sed -n 's/^\(kvp-[0-9]*\)-.*/\1/p' | sort -u); do
    pid=${prefix#kvp-}
    kill -0 "$pid" 2>/dev/null || down "$prefix"
  done
}

in_ns() { ip netns exec "$1" "${@:2}"; }

new_ns() {
  local ns=$1
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  # Errors in bursts: per-host (icmp_ratelimit) and per-namespace
  # (icmp_msgs_burst) limits would turn expected errors into time-outs.
  in_ns "$ns" sysctl -qw net.ipv4.icmp_ratelimit=0 net.ipv4.icmp_msgs_burst=10000 \
    net.ipv4.icmp_msgs_per_sec=100000 net.ipv4.conf.all.send_redirects=0 \
    net.ipv4.conf.default.send_redirects=0
}

link() {  # link NS_A DEV_A ADDR_A NS_B DEV_B ADDR_B
  ip -n "$1" link add "$2" type veth peer name "$5" netns "$4"
  ip -n "$1" addr add "$3" dev "$2"
  ip -n "$4" addr add "$6" dev "$5"
  ip -n "$1" link set "$2" up
  ip -n "$4" link set "$5" up
}

start_responder() {  # start_responder PREFIX RESPONDER ADDRESS MODE [ARG]
  local log
  log=$(log_dir "$1")/$3.log
  # A plain command, not a function: a backgrounded function keeps a copy of
  # the caller's stdout open, and whoever reads our output would never see EOF.
  ip netns exec "$1-target" "$2" "$3" "${@:4}" </dev/null >"$log" 2>&1 &
  for _ in $(seq 100); do
    grep -q ready "$log" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "responder $3 $4 did not start: $(cat "$log")" >&2
  return 1
}

up() {
  local prefix=$1 responder=$2
  local probe=$prefix-probe router=$prefix-router target=$prefix-target peer=$prefix-peer
  remove_leftovers
  down "$prefix"
  trap 'down "$prefix"' ERR
  for ns in "$probe" "$router" "$target" "$peer"; do new_ns "$ns"; done

  # A new namespace refuses ping sockets even to root ("1 0").
  in_ns "$probe" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
  link "$probe" pr0 198.18.1.2/24 "$router" ro0 198.18.1.1/24
  # An address nobody answers ARP for fails after mcast_solicit x retrans_time.
  in_ns "$probe" sysctl -qw net.ipv4.neigh.pr0.retrans_time_ms=100 \
    net.ipv4.neigh.pr0.mcast_solicit=3
  link "$router" ro1 198.18.2.1/24 "$target" ta0 198.18.2.2/24
  link "$router" ro2 198.18.5.1/24 "$peer" pe0 198.18.5.2/24
  ip -n "$router" link set ro2 mtu 1400
  ip -n "$peer" link set pe0 mtu 1400
  ip -n "$probe" route add default via 198.18.1.1
  ip -n "$target" route add default via 198.18.2.1
  ip -n "$peer" route add default via 198.18.5.1

  in_ns "$router" sysctl -qw net.ipv4.ip_forward=1
  ip -n "$router" route add 198.18.10.0/24 via 198.18.2.2
  ip -n "$router" route add 198.18.3.0/24 via 198.18.2.2
  ip -n "$router" route add 198.18.6.0/24 via 198.18.5.2
  ip -n "$router" route add 198.18.4.0/24 via 198.18.5.2
  ip -n "$router" route add blackhole 198.18.9.0/24
  local block reject
  for block in "0 icmp-host-unreachable" "16 icmp-net-unreachable" "32 icmp-port-unreachable" \
    "48 icmp-proto-unreachable" "64 icmp-net-prohibited" "80 icmp-host-prohibited" \
    "96 icmp-admin-prohibited"; do
    read -r start reject <<<"$block"
    in_ns "$router" iptables -A FORWARD -d "198.18.3.$start/28" -j REJECT --reject-with "$reject"
  done

  in_ns "$peer" sysctl -qw net.ipv4.ip_forward=1
  ip -n "$peer" route add local 198.18.6.0/24 dev lo
  ip -n "$peer" route add 198.18.4.0/24 via 198.18.5.1

  # The target's kernel stays silent; the responders answer instead.
  in_ns "$target" sysctl -qw net.ipv4.icmp_echo_ignore_all=1
  ip -n "$target" route add local 198.18.10.0/24 dev lo

  mkdir -p "/etc/netns/$probe" "$(log_dir "$prefix")"
  # localhost stays this machine for programs that check names, such as a
  # popup destination.
  printf '127.0.0.1 localhost\n198.18.10.1 kv-target kv-target.test\n198.18.6.1 kv-peer\n' \
    >"/etc/netns/$probe/hosts"
  # No name server outside the namespace: an unknown name fails at once on
  # the namespace's own loopback.
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"/etc/netns/$probe/resolv.conf"

  start_responder "$prefix" "$responder" 198.18.10.1 normal
  start_responder "$prefix" "$responder" 198.18.10.2 delay 50
  start_responder "$prefix" "$responder" 198.18.10.3 drop
  start_responder "$prefix" "$responder" 198.18.10.4 wrong-identifier
  start_responder "$prefix" "$responder" 198.18.10.5 wrong-source 198.18.10.250
  start_responder "$prefix" "$responder" 198.18.10.6 truncated
  start_responder "$prefix" "$responder" 198.18.10.7 bad-checksum
  start_responder "$prefix" "$responder" 198.18.10.8 duplicate
  start_responder "$prefix" "$responder" 198.18.10.9 flood
  start_responder "$prefix" "$responder" 198.18.10.10 wrong-sequence
  start_responder "$prefix" "$responder" 198.18.10.11 error-with-options
  trap - ERR
}

case ${1:-} in
  up) up "$2" "$3" ;;
  down) down "$2" ;;
  *) echo "usage: $0 up PREFIX RESPONDER | down PREFIX" >&2; exit 2 ;;
esac
