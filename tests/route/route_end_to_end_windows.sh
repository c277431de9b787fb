#!/usr/bin/env bash
# The Windows program records where the way to a host broke, under Wine:
# kelvoran.exe on the X server of with-xvfb, its Wine session (as root, so
# that Wine's ICMP goes through raw sockets and meets the routers'
# time-exceeded messages) in the probe namespace of the path probes' test
# network. The scenario is route_end_to_end.sh's: once the host's baseline is
# in the history, r2, r3 and the destination drop the probe's packets in turn,
# and each outage's path ends at the hop before the one dropping. The program
# is closed by the end of the Wine session, as Windows closes it at log-off,
# and so saves its history.
#
#   with-xvfb route_end_to_end_windows.sh KELVORAN.EXE
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
program=${1:?usage: route_end_to_end_windows.sh KELVORAN.EXE}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build network namespaces"
  exit 77
fi
network=$(dirname "$0")/../net/route_network.sh
# shellcheck source=tests/net/wine_session.sh
source "$(dirname "$0")/../net/wine_session.sh"
# shellcheck source=tests/route/route_scenario.sh
source "$(dirname "$0")/route_scenario.sh"
prefix=kvr-$$
probe=$prefix-probe
scratch=$(mktemp -d)
history=$scratch/run/KELVORAN.HISTORY
app=
trap 'end_sessions; tear_down' EXIT

bash "$network" up "$prefix"
start_session root
mkdir -p "$scratch/run"
write_hosts "$scratch/run/KELVORAN.INI" $'\r'
(cd "$scratch/run" && as root wine "$program" </dev/null >"$scratch/out" 2>&1) &
app=$!
# Wine takes seconds to show the first window; the scenario's clock starts
# with the start-up About box.
for _ in $(seq 600); do
  xdotool search --name '^About Kelvoran$' >/dev/null 2>&1 && break
  kill -0 "$app" 2>/dev/null || fail "kelvoran.exe ended at start: $(cat "$scratch/out")"
  sleep 0.1
done
drop_in_turn
as root wineboot --end-session </dev/null >/dev/null 2>&1
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran.exe did not close at the end of the session"
app=
expect_paths_end_before_each_drop
