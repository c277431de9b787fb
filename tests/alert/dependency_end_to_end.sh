#!/usr/bin/env bash
# A router down with ten hosts behind it sends one alert, not eleven: kelvoran
# --headless runs in the test network's probe namespace
# (tests/net/test_network.sh) beside the delivery test servers
# (tests/delivery/delivery_servers.py). Its list holds the router namespace's
# address and ten addresses behind the router (answered by the peer's
# kernel), each depending on the router and each sending to a webhook. The
# router namespace then drops every echo, to itself and through it, for long
# enough that all eleven hosts reach ERROR, and lets them through again.
#
#   dependency_end_to_end.sh KELVORAN RESPONDER
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
# shellcheck source=tests/alert/in_test_network.sh
source "$(dirname "$0")/in_test_network.sh"
kelvoran=${1:?usage: dependency_end_to_end.sh KELVORAN RESPONDER}
scratch=$(mktemp -d)
app=
router_ns=$KELVORAN_PREFIX-router
drop_rules=("INPUT -p icmp -j DROP" "FORWARD -p icmp -j DROP")
let_through() {
  local rule
  for rule in "${drop_rules[@]}"; do
    # shellcheck disable=SC2086
    ip netns exec "$router_ns" iptables -w -D $rule 2>/dev/null || true
  done
}
trap '[[ -z $app ]] || kill -KILL "$app" 2>/dev/null || true; let_through; rm -rf "$scratch"' EXIT

in_error() { grep -cE " 198\.18\.$1: [A-Z]+ -> ERROR" "$scratch/log" || true; }
back_ok() { grep -cE " 198\.18\.$1: [A-Z]+ -> OK" "$scratch/log" || true; }
count_at_least() { [[ $("$1" "$2") -ge $3 ]]; }

# Every host probed every second, so that eleven hosts keep their pace.
write_hook_profile "Url=http://localhost:$HTTP_PORT/status/200/hook" \
  'Body={"host": "{host}", "event": "{event}"}'
# Router and hosts go ERROR after three seconds of failures, whichever is
# probed first: hosts that get there before the router wait for it.
{
  printf '[router]\nHost=198.18.1.1\nDelay=1\nTimeout=1\nFailPeriod=3\nSuccessPeriod=0\n'
  printf 'AlertChannels=Hook\n'
  for n in $(seq 1 10); do
    printf '[behind%s]\nHost=198.18.6.%s\nDelay=1\nTimeout=1\nFailPeriod=3\n' "$n" "$n"
    printf 'SuccessPeriod=0\nDependsOn=198.18.1.1\nAlertChannels=Hook\n'
  done
} >"$scratch/KELVORAN.INI"

start_headless "$kelvoran"

wait_for 20 "the hosts did not all come up" count_at_least back_ok '(1\.1|6\.[0-9]+)' 11
for rule in "${drop_rules[@]}"; do
  # shellcheck disable=SC2086
  ip netns exec "$router_ns" iptables -w -A $rule
done
wait_for 30 "the hosts did not all go down" count_at_least in_error '(1\.1|6\.[0-9]+)' 11
wait_for 20 "no alert for the router" count_is http path "^/status/200/hook" 1
let_through
wait_for 30 "the hosts did not all come back" count_at_least back_ok '(1\.1|6\.[0-9]+)' 22
# Alerts are sent from the tick: a few seconds are room for one sent wrongly.
sleep 3
kill -TERM "$app"
wait "$app" || fail "kelvoran exited with status $? after SIGTERM"
app=
[[ $(received http path "^/status/200/hook") -eq 1 ]] ||
  fail "$(received http path "^/status/200/hook") alerts, expected the router's alone"
hook=$(dirname "$(grep -l "^/status/200/hook" "$RECEIVED_DIR"/*/path)")
[[ $(cat "$hook/json.host") == 198.18.1.1 ]] || fail "the alert was not the router's: $(cat "$hook/body")"
echo "PASS"
