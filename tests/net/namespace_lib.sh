# shellcheck shell=bash
# What the test networks' scripts (test_network.sh, route_network.sh) share:
# sourced, not run. Each names its namespaces PREFIX-NODE, with a PREFIX of
# TAG-<pid> unique to one run, and defines down PREFIX.

in_ns() { ip netns exec "$1" "${@:2}"; }

# remove_leftovers TAG: runs that died without tearing down leave TAG-<pid>-*
# behind.
remove_leftovers() {
  local tag=$1 prefix
  for prefix in $(ip netns list | awk '{print $1}' | sed -n "s/^\\($tag-[0-9]*\\)-.*/\\1/p" |
    sort -u); do
    kill -0 "${prefix#"$tag"-}" 2>/dev/null || down "$prefix"
  done
}

new_ns() {
  local ns=$1
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  # Errors in bursts: per-host (icmp_ratelimit) and per-namespace
  # (icmp_msgs_burst) limits would turn expected errors into time-outs.
  in_ns "$ns" sysctl -qw net.ipv4.icmp_ratelimit=0 net.ipv4.icmp_msgs_burst=10000 \
    net.ipv4.icmp_msgs_per_sec=100000 net.ipv4.conf.all.send_redirects=0 \
    net.ipv4.conf.default.send_redirects=0 net.ipv6.icmp.ratelimit=0
}

# Both families on each end; nodad, or each address stays tentative (unusable)
# for the second or so of duplicate address detection.
link() {  # link NS_A DEV_A ADDR_A ADDR6_A NS_B DEV_B ADDR_B ADDR6_B
  ip -n "$1" link add "$2" type veth peer name "$6" netns "$5"
  ip -n "$1" addr add "$3" dev "$2"
  ip -n "$1" addr add "$4" dev "$2" nodad
  ip -n "$5" addr add "$7" dev "$6"
  ip -n "$5" addr add "$8" dev "$6" nodad
  ip -n "$1" link set "$2" up
  ip -n "$5" link set "$6" up
}
