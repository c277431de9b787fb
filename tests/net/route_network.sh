#!/usr/bin/env bash
# Builds and removes the path probe's test network: a chain of three routers
# between the probe and a destination, each a network namespace named with a
# prefix unique to one test run.
#
#   route_network.sh up PREFIX               build it
#   route_network.sh down PREFIX             remove it (safe to repeat)
#   route_network.sh drop PREFIX NODE        NODE (r1 r2 r3 dest) drops all from the probe
#   route_network.sh pass PREFIX NODE        ... and lets it through again
#   route_network.sh refuse PREFIX NODE      NODE answers what it would forward
#                                            for the probe with host unreachable
#   route_network.sh forward PREFIX NODE     ... and forwards it again
#   route_network.sh ratelimit PREFIX MS     r2's time-exceeded to the probe: one per MS
#
#   probe ─ 198.18.41.0/24 ─ r1 ─ .42.0/24 ─ r2 ─ .43.0/24 ─ r3 ─ .44.0/24 ─ dest
#     .2                    .1  .1          .2 .1          .2 .1          .2
#
# Each router answers time exceeded from its address towards the probe:
# 198.18.41.1, 198.18.42.2, 198.18.43.2; the destination is 198.18.44.2.
# Anything outside the chain (198.18.50.1) loops between r2 and r3. In IPv6 198.18.N.H is 2001:2:0:N::H.
# Only the test ranges 198.18.0.0/15 (RFC 2544) and 2001:2::/48 (RFC 5180)
# are used, and only inside these namespaces. The probe's hosts file names
# the routers, for reverse names.
set -Eeuo pipefail
# shellcheck source=tests/net/namespace_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/namespace_lib.sh"

NODES=(probe r1 r2 r3 dest)

down() {
  local prefix=$1 ns
  for ns in $(ip netns list | awk '{print $1}' | grep "^${prefix}-" || true); do
    ip netns del "$ns" 2>/dev/null || true
  done
  rm -rf /etc/netns/"${prefix}"-probe
}

# link_nodes PREFIX A B N: node A is .1 and node B .2 on 198.18.N.0/24 and
# 2001:2:0:N::/64, joined by veths named after the node at the other end.
link_nodes() {
  link "$1-$2" "to-$3" "198.18.$4.1/24" "2001:2:0:$4::1/64" \
    "$1-$3" "to-$2" "198.18.$4.2/24" "2001:2:0:$4::2/64"
}

route() {  # route NS DESTINATION GATEWAY, in the family of the gateway
  ip -n "$1" route add "$2" via "$3"
}

up() {
  local prefix=$1 node
  remove_leftovers kvr
  down "$prefix"
  trap 'down "$prefix"' ERR
  for node in "${NODES[@]}"; do
    new_ns "$prefix-$node"
    in_ns "$prefix-$node" sysctl -qw net.ipv4.ip_forward=1 net.ipv6.conf.all.forwarding=1
  done
  local probe=$prefix-probe r1=$prefix-r1 r2=$prefix-r2 r3=$prefix-r3 dest=$prefix-dest
  # A new namespace refuses ping sockets even to root ("1 0").
  in_ns "$probe" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
  link_nodes "$prefix" r1 probe 41
  link_nodes "$prefix" r1 r2 42
  link_nodes "$prefix" r2 r3 43
  link_nodes "$prefix" r3 dest 44
  route "$probe" default 198.18.41.1
  route "$probe" default 2001:2:0:41::1
  route "$dest" default 198.18.44.1
  route "$dest" default 2001:2:0:44::1
  route "$r1" default 198.18.42.2
  route "$r1" default 2001:2:0:42::2
  route "$r2" 198.18.41.0/24 198.18.42.1
  route "$r2" 2001:2:0:41::/64 2001:2:0:42::1
  # r2's and r3's default routes point at each other: whatever lies outside
  # the chain, 198.18.50.1 for one, goes round between them.
  route "$r2" default 198.18.43.2
  route "$r2" default 2001:2:0:43::2
  route "$r3" default 198.18.43.1
  route "$r3" default 2001:2:0:43::1

  mkdir -p "/etc/netns/$probe"
  printf '%s\n' '127.0.0.1 localhost' '::1 localhost' \
    '198.18.41.1 r1.route.test' '198.18.42.2 r2.route.test' '198.18.43.2 r3.route.test' \
    '198.18.44.2 dest.route.test' '2001:2:0:42::2 r2.route.test' >"/etc/netns/$probe/hosts"
  # No name server: a lookup the hosts file cannot answer fails at once.
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"/etc/netns/$probe/resolv.conf"
  # Neighbour discovery along the chain takes a moment the first time.
  local settle
  for settle in 198.18.44.2 2001:2:0:44::2; do
    in_ns "$probe" ping -q -c 1 -W 5 "$settle" >/dev/null || true
  done
  trap - ERR
}

# drop|pass PREFIX NODE: the node's raw table drops (or no longer drops)
# everything from the probe before routing, so it neither forwards nor
# answers.
filter() {
  local action=$1 ns=$2-$3
  in_ns "$ns" iptables -t raw "$action" PREROUTING -s 198.18.41.2 -j DROP
  in_ns "$ns" ip6tables -t raw "$action" PREROUTING -s 2001:2:0:41::2 -j DROP
}

# refuse|forward PREFIX NODE: the node's forward chain refuses (or no longer
# refuses) the probe's packets with host unreachable. Netfilter's forward hook
# runs after the hop limit is checked, so the node itself still answers time
# exceeded.
refusal() {
  local action=$1 ns=$2-$3
  in_ns "$ns" iptables "$action" FORWARD -s 198.18.41.2 -j REJECT --reject-with icmp-host-unreachable
  in_ns "$ns" ip6tables "$action" FORWARD -s 2001:2:0:41::2 -j REJECT --reject-with icmp6-addr-unreachable
}

# r2 sends the probe at most one ICMP error per MS milliseconds after a burst
# of six (the kernel's per-host token bucket); 0 lifts the limit. Time
# exceeded is in both families' default rate masks; IPv4's is set all the
# same.
ratelimit() {
  in_ns "$1-r2" sysctl -qw net.ipv4.icmp_ratelimit="$2" net.ipv4.icmp_ratemask=6168 \
    net.ipv6.icmp.ratelimit="$2"
}

case ${1:-} in
  up) up "$2" ;;
  down) down "$2" ;;
  drop) filter -I "$2" "$3" ;;
  pass) filter -D "$2" "$3" ;;
  refuse) refusal -I "$2" "$3" ;;
  forward) refusal -D "$2" "$3" ;;
  ratelimit) ratelimit "$2" "$3" ;;
  *) echo "usage: $0 up|down PREFIX | drop|pass|refuse|forward PREFIX NODE | ratelimit PREFIX MS" >&2; exit 2 ;;
esac
