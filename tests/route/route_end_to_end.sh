#!/usr/bin/env bash
# The real program records where the way to a host broke: kelvoran runs in
# the probe namespace of the path probes' test network (three routers before
# the destination) on the X server of with-xvfb. Once the host's baseline is
# in the history, r2, r3 and the destination drop the probe's packets in
# turn; each outage's path in the history ends at the hop before the one
# dropping, and the outage log's text names it.
#
#   with-xvfb route_end_to_end.sh KELVORAN
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
kelvoran=${1:?usage: route_end_to_end.sh KELVORAN}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build network namespaces"
  exit 77
fi
network=$(dirname "$0")/../net/route_network.sh
# shellcheck source=tests/route/route_scenario.sh
source "$(dirname "$0")/route_scenario.sh"
prefix=kvr-$$
scratch=$(mktemp -d)
history=$scratch/KELVORAN.HISTORY
app=
trap tear_down EXIT

bash "$network" up "$prefix"
write_hosts "$scratch/KELVORAN.INI"
(cd "$scratch" && XDG_CONFIG_HOME="$scratch" exec ip netns exec "$prefix-probe" "$kelvoran" \
  </dev/null >"$scratch/out" 2>&1) &
app=$!
drop_in_turn
kill -TERM "$app"
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not close after SIGTERM"
app=
expect_paths_end_before_each_drop
