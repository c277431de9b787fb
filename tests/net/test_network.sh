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
#
# Every link has the same plan in IPv6, 198.18.N.H becoming 2001:2:0:N::H
# (2001:2::/48, the RFC 5180 test range), router's ro0 also fe80::1; the
# ICMPv6 rejects sit in 2001:2:0:3::/64 and the responders in 2001:2:0:a::/64.
set -Eeuo pipefail
# shellcheck source=tests/net/namespace_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/namespace_lib.sh"

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
  remove_leftovers kvp
  down "$prefix"
  trap 'down "$prefix"' ERR
  for ns in "$probe" "$router" "$target" "$peer"; do new_ns "$ns"; done

  # A new namespace refuses ping sockets even to root ("1 0").
  in_ns "$probe" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
  link "$probe" pr0 198.18.1.2/24 2001:2:0:1::2/64 "$router" ro0 198.18.1.1/24 2001:2:0:1::1/64
  ip -n "$router" addr add fe80::1/64 dev ro0 nodad
  # An address nobody answers ARP (or neighbour solicitations) for fails after
  # mcast_solicit x retrans_time.
  in_ns "$probe" sysctl -qw net.ipv4.neigh.pr0.retrans_time_ms=100 \
    net.ipv4.neigh.pr0.mcast_solicit=3 net.ipv6.neigh.pr0.retrans_time_ms=100 \
    net.ipv6.neigh.pr0.mcast_solicit=3
  link "$router" ro1 198.18.2.1/24 2001:2:0:2::1/64 "$target" ta0 198.18.2.2/24 2001:2:0:2::2/64
  link "$router" ro2 198.18.5.1/24 2001:2:0:5::1/64 "$peer" pe0 198.18.5.2/24 2001:2:0:5::2/64
  ip -n "$router" link set ro2 mtu 1400
  ip -n "$peer" link set pe0 mtu 1400
  ip -n "$probe" route add default via 198.18.1.1
  # A blackhole route of the probe's own: its send fails at once (EINVAL).
  ip -n "$probe" route add blackhole 198.18.12.0/24
  ip -n "$target" route add default via 198.18.2.1
  ip -n "$peer" route add default via 198.18.5.1
  ip -n "$probe" -6 route add default via 2001:2:0:1::1
  ip -n "$target" -6 route add default via 2001:2:0:2::1
  ip -n "$peer" -6 route add default via 2001:2:0:5::1

  in_ns "$router" sysctl -qw net.ipv4.ip_forward=1
  ip -n "$router" route add 198.18.10.0/24 via 198.18.2.2
  ip -n "$router" route add 198.18.3.0/24 via 198.18.2.2
  ip -n "$router" route add 198.18.6.0/24 via 198.18.5.2
  ip -n "$router" route add 198.18.4.0/24 via 198.18.5.2
  ip -n "$router" route add blackhole 198.18.9.0/24
  local block reject start
  for block in "0 icmp-host-unreachable" "16 icmp-net-unreachable" "32 icmp-port-unreachable" \
    "48 icmp-proto-unreachable" "64 icmp-net-prohibited" "80 icmp-host-prohibited" \
    "96 icmp-admin-prohibited"; do
    read -r start reject <<<"$block"
    in_ns "$router" iptables -A FORWARD -d "198.18.3.$start/28" -j REJECT --reject-with "$reject"
  done

  in_ns "$router" sysctl -qw net.ipv6.conf.all.forwarding=1
  ip -n "$router" -6 route add 2001:2:0:a::/64 via 2001:2:0:2::2
  ip -n "$router" -6 route add 2001:2:0:3::/64 via 2001:2:0:2::2
  ip -n "$router" -6 route add 2001:2:0:6::/64 via 2001:2:0:5::2
  ip -n "$router" -6 route add 2001:2:0:4::/64 via 2001:2:0:5::2
  ip -n "$router" -6 route add blackhole 2001:2:0:9::/64
  # Every destination-unreachable code that ip6tables can send.
  for block in "0 icmp6-no-route" "10 icmp6-adm-prohibited" "20 icmp6-addr-unreachable" \
    "30 icmp6-port-unreachable" "40 icmp6-policy-fail" "50 icmp6-reject-route"; do
    read -r start reject <<<"$block"
    in_ns "$router" ip6tables -A FORWARD -d "2001:2:0:3::$start/124" -j REJECT --reject-with "$reject"
  done

  in_ns "$peer" sysctl -qw net.ipv4.ip_forward=1 net.ipv6.conf.all.forwarding=1
  ip -n "$peer" route add local 198.18.6.0/24 dev lo
  ip -n "$peer" route add 198.18.4.0/24 via 198.18.5.1
  ip -n "$peer" -6 route add local 2001:2:0:6::/64 dev lo
  ip -n "$peer" -6 route add 2001:2:0:4::/64 via 2001:2:0:5::1

  # The target's kernel stays silent; the responders answer instead. An IPv6
  # socket binds to an address of a local route only with ip_nonlocal_bind.
  in_ns "$target" sysctl -qw net.ipv4.icmp_echo_ignore_all=1 net.ipv6.icmp.echo_ignore_all=1 \
    net.ipv6.ip_nonlocal_bind=1
  ip -n "$target" route add local 198.18.10.0/24 dev lo
  ip -n "$target" -6 route add local 2001:2:0:a::/64 dev lo

  mkdir -p "/etc/netns/$probe" "$(log_dir "$prefix")"
  # localhost stays this machine for programs that check names, such as a
  # popup destination.
  # kv-target has both families, its IPv6 address at the responder that drops.
  printf '%s\n' '127.0.0.1 localhost' '::1 localhost' '198.18.10.1 kv-target kv-target.test' \
    '2001:2:0:a::3 kv-target' '198.18.6.1 kv-peer' '2001:2:0:a::1 kv-target6' \
    >"/etc/netns/$probe/hosts"
  # No name server outside the namespace: an unknown name fails at once on
  # the namespace's own loopback.
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"/etc/netns/$probe/resolv.conf"

  start_responder "$prefix" "$responder" 198.18.10.1 normal
  start_responder "$prefix" "$responder" 198.18.10.2 delay 50
  start_responder "$prefix" "$responder" 198.18.10.3 drop
  start_responder "$prefix" "$responder" 198.18.10.9 flood
  start_responder "$prefix" "$responder" 198.18.10.4 delay 1500
  start_responder "$prefix" "$responder" 198.18.10.5 twice
  start_responder "$prefix" "$responder" 2001:2:0:a::1 normal
  start_responder "$prefix" "$responder" 2001:2:0:a::2 delay 50
  start_responder "$prefix" "$responder" 2001:2:0:a::3 drop
  # Neighbour discovery on each hop takes a moment the first time, which a
  # loaded machine can stretch past a test's one-second time-out: one echo of
  # each family to the normal responders and to the peer settles both paths.
  local settle
  for settle in 198.18.10.1 198.18.6.1 2001:2:0:a::1 2001:2:0:6::1; do
    in_ns "$probe" ping -q -c 1 -W 5 "$settle" >/dev/null || true
  done
  trap - ERR
}

case ${1:-} in
  up) up "$2" "$3" ;;
  down) down "$2" ;;
  *) echo "usage: $0 up PREFIX RESPONDER | down PREFIX" >&2; exit 2 ;;
esac
