# shellcheck shell=bash
# Sourced by the tests that run the program as another user: a network
# namespace of the test's own with loopback only, where ping sockets are
# closed to every group (the kernel's default "1 0" in any new namespace), so
# that only CAP_NET_RAW lets the program probe; a scratch folder the user can
# reach; and the clean-up of both and of every pid in $pids on exit.
# Needs fail() defined first; sets ns, scratch and pids.
ns=kvns-$$
# Under /tmp rather than $TMPDIR: the user has to reach it.
scratch=$(mktemp -d /tmp/kvns.XXXXXX)
chmod 755 "$scratch"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
ip netns add "$ns"
ip -n "$ns" link set lo up
range=$(ip netns exec "$ns" sysctl -n net.ipv4.ping_group_range)
[[ "$range" =~ ^1[[:space:]]+0$ ]] || fail "ping sockets are open in the namespace: '$range'"
