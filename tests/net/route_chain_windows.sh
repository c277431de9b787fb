#!/usr/bin/env bash
# The path probe under Wine through the three routers of route_network.sh:
# hop limits 1 to 4 meet 198.18.41.1, 198.18.42.2, 198.18.43.2 and the
# destination 198.18.44.2. The test program runs once as the chain is, then
# once with r2, r3 and the destination in turn dropping all that comes from
# the probe: its answers must end at the hop before; then with r3 refusing to
# forward, and as a user without raw sockets. Wine sends ICMP from its own
# service process, so its whole session (a prefix of the script's own) runs
# in the probe's namespace.
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
network=$(dirname "$0")/route_network.sh
# shellcheck source=tests/net/wine_session.sh
source "$(dirname "$0")/wine_session.sh"
prefix=kvr-$$
probe=$prefix-probe
scratch=$(mktemp -d)
chmod 755 "$scratch"
cleanup() {
  end_sessions
  bash "$network" down "$prefix" || true
  rm -rf "$scratch"
}
trap cleanup EXIT

bash "$network" up "$prefix"
start_session root

launch=$(realpath "$(dirname "$0")/../../cmake/wine-launch")
run() {  # run USER LAST_ANSWERING_HOP GTEST_FILTER [VARIABLE=VALUE...]
  as "$1" "${@:4}" KELVORAN_ROUTE_HOPS="198.18.41.1 198.18.42.2 198.18.43.2 198.18.44.2" \
    KELVORAN_ROUTE_NAMES="r1.route.test r2.route.test r3.route.test dest.route.test" \
    KELVORAN_ROUTE_LAST="$2" "$launch" "$program" --gtest_filter="$3"
}

status=0
run root 4 '*' || status=1
for case in "r2 1" "r3 2" "dest 3"; do
  read -r node last <<<"$case"
  echo "== dropping at $node: the answers end at hop $last"
  bash "$network" drop "$prefix" "$node"
  run root "$last" 'WindowsRouteChain.*' || status=1
  bash "$network" pass "$prefix" "$node"
done
echo "== r3 refuses to forward: host unreachable from hop 3 on"
bash "$network" refuse "$prefix" r3
run root 3 'WindowsRouteChain.*' KELVORAN_ROUTE_REJECTED=1 || status=1
bash "$network" forward "$prefix" r3
# The program where it holds no raw socket: a copy the nobody user can read.
echo "== as nobody: ping sockets"
start_session nobody
install -m 755 "$program" "$scratch/nobody/test.exe"
program=$scratch/nobody/test.exe
run nobody 4 'WindowsRouteChain.*' || status=1
exit $status
