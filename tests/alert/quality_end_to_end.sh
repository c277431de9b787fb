#!/usr/bin/env bash
# Quality alerts over real probes: kelvoran --headless runs in the test
# network's probe namespace (tests/net/test_network.sh) beside the delivery
# test servers. A responder that answers after 50 ms is slow above 20 ms; one
# that answers at once, with the same rule, is not; the router's own address,
# lossy above 50 %, loses every echo for a while and is lossy, then no longer
# once a window of answers follows. Each alert goes to a webhook whose path
# names the host and the event.
#
#   quality_end_to_end.sh KELVORAN RESPONDER
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
# shellcheck source=tests/alert/in_test_network.sh
source "$(dirname "$0")/in_test_network.sh"
kelvoran=${1:?usage: quality_end_to_end.sh KELVORAN RESPONDER}
scratch=$(mktemp -d)
app=
router_ns=$KELVORAN_PREFIX-router
drop_rule=(INPUT -p icmp -d 198.18.1.1 -j DROP)
let_through() { ip netns exec "$router_ns" iptables -w -D "${drop_rule[@]}" 2>/dev/null || true; }
trap '[[ -z $app ]] || kill -KILL "$app" 2>/dev/null || true; let_through; rm -rf "$scratch"' EXIT

alerts() { received http path "^/status/200/q/$1\$"; }
has_alert() { [[ $(alerts "$1") -ge 1 ]]; }

write_hook_profile AlsoWhenOk=1 "Url=http://localhost:$HTTP_PORT/status/200/q/{host}/{event}" \
  'Body={"host": "{host}", "event": "{event}", "error": "{error}"}'
{
  for host in 198.18.10.2 198.18.10.1; do
    printf '[%s]\nHost=%s\nDelay=1\nTimeout=2\nAlertChannels=Hook\n' "$host" "$host"
    printf 'QualityProbes=3\nSlowAboveMs=20\n'
  done
  printf '[router]\nHost=198.18.1.1\nDelay=1\nTimeout=1\nFailPeriod=60\nAlertChannels=Hook\n'
  printf 'QualityProbes=3\nLossAbovePercent=50\n'
} >"$scratch/KELVORAN.INI"

start_headless "$kelvoran"

wait_for 20 "no slow alert for the slow responder" has_alert '198\.18\.10\.2/slow'
grep -qE "198\.18\.10\.2: slow: median 5[0-9] ms over 3 probes \(limit 20 ms\)" "$scratch/log" ||
  fail "the log does not tell the median"
ip netns exec "$router_ns" iptables -w -A "${drop_rule[@]}"
wait_for 20 "no lossy alert for the router" has_alert '198\.18\.1\.1/lossy'
let_through
wait_for 20 "the router did not come back to normal" has_alert '198\.18\.1\.1/lossy_ok'
sleep 2
kill -TERM "$app"
wait "$app" || fail "kelvoran exited with status $? after SIGTERM"
app=
[[ $(alerts '198\.18\.10\.2/slow') -eq 1 ]] || fail "the slow host was told more than once"
[[ $(alerts '198\.18\.10\.2/slow_ok') -eq 0 ]] || fail "the slow host came back to normal"
[[ $(alerts '198\.18\.10\.1/.*') -eq 0 ]] || fail "the fast host raised an alert"
[[ $(alerts '198\.18\.1\.1/down') -eq 0 ]] || fail "quality moved the router's status"
echo "PASS"
