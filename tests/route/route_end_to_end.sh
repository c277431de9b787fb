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
prefix=kvr-$$
scratch=$(mktemp -d)
app=
cleanup() {
  [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null || true
  bash "$network" down "$prefix" || true
  [[ -n "${KEEP_SCRATCH:-}" ]] && echo "kept $scratch" || rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

bash "$network" up "$prefix"
# Fail and success periods of 0: the host moves at its first result.
printf '[dest]\nHost=198.18.44.2\nDelay=1\nTimeout=1\nFailPeriod=0\nSuccessPeriod=0\n' \
  >"$scratch/KELVORAN.INI"
(cd "$scratch" && XDG_CONFIG_HOME="$scratch" exec ip netns exec "$prefix-probe" "$kelvoran" \
  </dev/null >"$scratch/out" 2>&1) &
app=$!
history=$scratch/KELVORAN.HISTORY

# The program keeps its history file locked while it runs: it is read once
# the program has closed, so the steps below wait long enough for each to
# happen. A host in ERROR within 3 s of the drop, its path (three rounds of
# 1 s) within 5 s more; OK again within 3 s of the pass.
sleep 6
for node in r2 r3 dest; do
  bash "$network" drop "$prefix" "$node"
  sleep 9
  bash "$network" pass "$prefix" "$node"
  sleep 5
done
kill -TERM "$app"
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not close after SIGTERM"
app=

# paths REASON: one line per recorded path of that reason (0 baseline,
# 1 outage), oldest first: its last answering hop and address.
paths() {
  sqlite3 "$history" "SELECT (SELECT hop || ' ' || address FROM route_hops
      WHERE trace = t.id AND received > 0 ORDER BY hop DESC LIMIT 1)
    FROM route_traces t WHERE reason = $1 ORDER BY time, id"
}
errors=$(sqlite3 "$history" "SELECT count(*) FROM changes WHERE after_status = 2")
[[ "$errors" == 3 ]] || fail "$errors entries into ERROR, expected 3 (one per drop)"
[[ $(paths 0 | head -1) == "4 198.18.44.2" ]] || fail "baseline: $(paths 0 | head -1)"
expected=$'1 198.18.41.1\n2 198.18.42.2\n3 198.18.43.2'
[[ $(paths 1) == "$expected" ]] ||
  fail "outage paths end at '$(paths 1 | tr '\n' ';')', expected r1, r2, r3 in turn"
echo "each outage's path ends at the hop before the one dropping"
