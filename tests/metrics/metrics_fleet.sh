#!/usr/bin/env bash
# Two machines' worth of Kelvoran watched by one Prometheus with the shipped
# rules, and the shipped Grafana dashboard's queries asked of it. Two
# headless programs in separate folders with separate lists run in the test
# network's probe namespace (tests/net/test_network.sh):
#
#   a: 198.18.10.1 answers; 198.18.10.5 would answer, but the router drops
#      its echoes (an iptables DROP rule); its alerts go to a channel that
#      works and one whose program does not exist.
#   b: 198.18.10.2 answers after 50 ms; 198.18.3.1 is rejected by the router
#      with ICMP errors, and its Fail period keeps it in WARNING.
#
# Prometheus's answers must match what each program serves: the hosts'
# statuses, the alert channels' counters; the probe counters at most a few
# probes behind. "Host down" fires for the dropped host alone (the rejected
# one is not in ERROR), packet loss for both silent hosts. Every query of the
# dashboard's panels returns data.
#
#   metrics_fleet.sh KELVORAN RESPONDER RULES DASHBOARD
#
# Needs root for the namespaces; exits 77 (skipped) otherwise. All traffic
# stays in the test network's namespaces.
set -euo pipefail
# sort and join in the byte order jq sorts in.
export LC_ALL=C
usage="usage: metrics_fleet.sh KELVORAN RESPONDER RULES DASHBOARD"
kelvoran=${1:?$usage}
responder=${2:?$usage}
rules=${3:?$usage}
dashboard=${4:?$usage}
# shellcheck source=tests/metrics/metrics_scenario.sh
source "$(dirname "$0")/metrics_scenario.sh"
ports=(9765 9766)

bash "$network" up "$prefix" "$responder"
# A responder of this test's own behind the router's DROP rule: it answers
# until the rule is in place.
ip netns exec "$prefix-target" "$responder" 198.18.10.5 normal </dev/null >"$dir/responder.log" 2>&1 &
pids+=($!)
wait_for "$dir/responder.log" ready
in_ns ping -q -c 1 -W 5 198.18.10.5 >/dev/null || fail "198.18.10.5 does not answer before the rule"
ip netns exec "$prefix-router" iptables -I FORWARD -d 198.18.10.5 -j DROP

mkdir -p "$dir/a/Brindlecot" "$dir/b"
cat >"$dir/a/Brindlecot/Kelvoran by Brindlecot.conf" <<CONF
[AlertChannels/1]
Name=Touch
Kind=program
Program=/usr/bin/touch
Argument1=$dir/alerted
[AlertChannels/2]
Name=Missing
Kind=program
Program=$dir/no-such-program
CONF
cat >"$dir/a/KELVORAN.INI" <<'INI'
[answering]
Host=198.18.10.1
Delay=1
Timeout=1
SuccessPeriod=0
[dropped]
Host=198.18.10.5
Delay=1
Timeout=1
FailPeriod=0
AlertChannels=Touch,Missing
INI
cat >"$dir/b/KELVORAN.INI" <<'INI'
[slow]
Host=198.18.10.2
Delay=1
Timeout=1
SuccessPeriod=0
[rejected]
Host=198.18.3.1
Delay=1
Timeout=1
FailPeriod=3600
INI
start_kelvoran "$dir/a" "$dir/a.log" "${ports[0]}"
start_kelvoran "$dir/b" "$dir/b.log" "${ports[1]}"
wait_for "$dir/a.log" ' 198\.18\.10\.5: WARNING -> ERROR: Request timed out\.$'
wait_for "$dir/a.log" ' 198\.18\.10\.5: alert to "Touch" \(down\) sent'
wait_for "$dir/a.log" ' 198\.18\.10\.5: alert to "Missing" \(down\)'

# The rules as shipped but for their waits: a real user wants minutes before
# an alert fires, the test a second. The copy is the test's own.
sed -E 's/^( +for:).*/\1 1s/' "$rules" >"$dir/rules.yml"
grep -q 'for: 2m' "$dir/rules.yml" && fail "the waits of the rules were not shortened"
cat >"$dir/prometheus.yml" <<YML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files: ['$dir/rules.yml']
scrape_configs:
  - job_name: kelvoran
    static_configs:
      - targets: ['127.0.0.1:${ports[0]}', '127.0.0.1:${ports[1]}']
YML
started=$(date +%s%N)
start_prometheus "$dir/prometheus.yml"

# jq_query EXPR FILTER: FILTER applied to the answer's result, or nothing
# while Prometheus does not answer yet.
jq_query() { prometheus_query "$1" | jq -r "select(.status == \"success\") | .data.result | $2" 2>/dev/null || true; }
# eventually EXPECTED EXPR FILTER: waits up to 30 s for the filter to give EXPECTED.
eventually() {
  for _ in $(seq 60); do
    answer=$(jq_query "$2" "$3")
    [[ $answer == "$1" ]] && return 0
    sleep 0.5
  done
  fail "$2 gave '$answer', expected '$1'"
}
firing() {
  eventually "$2" "ALERTS{alertname=\"$1\",alertstate=\"firing\"}" '[.[].metric.host] | sort | join(" ")'
}

firing KelvoranHostDown 198.18.10.5
echo "'host down' firing $((($(date +%s%N) - started) / 1000000)) ms after Prometheus started"
firing KelvoranPacketLoss "198.18.10.5 198.18.3.1"
eventually "2" 'sum(up{job="kelvoran"})' '.[0].value[1]'

# What each program serves now, as Prometheus itself asks for it, each line
# after its instance; kept in a file (grep -q on a pipe would cut it short).
accept='application/openmetrics-text;version=1.0.0,text/plain;version=0.0.4;q=0.5'
scrape_both() {
  for port in "${ports[@]}"; do
    in_ns curl -sS --max-time 5 -H "Accept: $accept" "http://127.0.0.1:$port/metrics" |
      sed "s/^/127.0.0.1:$port /"
  done >"$dir/served"
}
# The served samples of family $1, as "instance host-or-channel value", sorted.
served_samples() {
  sed -nE "s/^([^ ]+) $1\{(host|channel)=\"([^\"]*)\"[^}]*\} ([0-9]+)$/\1 \3 \4/p" "$dir/served" | sort
}
prometheus_samples() {
  jq_query "$1" "map(\"\(.metric.instance) \(.metric.${2}) \(.value[1])\") | sort | .[]"
}

took=$(in_ns curl -sS --max-time 5 -H "Accept: $accept" -D "$dir/headers" -o "$dir/om" \
  -w '%{time_total}' "http://127.0.0.1:${ports[0]}/metrics") || fail "the OpenMetrics scrape failed"
echo "OpenMetrics scrape of two hosts: ${took} s"
grep -qi '^content-type: application/openmetrics-text; version=1.0.0; charset=utf-8' "$dir/headers" ||
  fail "wrong OpenMetrics content type: $(cat "$dir/headers")"
[[ $(tail -n 1 "$dir/om") == '# EOF' ]] || fail "the OpenMetrics text does not end with # EOF"
for port in "${ports[@]}"; do
  lint=$(in_ns curl -sS --max-time 5 "http://127.0.0.1:$port/metrics" | promtool check metrics 2>&1) ||
    fail "promtool on $port: $lint"
  [[ -z $lint ]] || fail "promtool on $port: $lint"
done

scrape_both
expected=$(sed -nE 's/^([^ ]+) kelvoran_host_status\{host="([^"]*)".*status="([A-Z]+)"\} 1$/\1 \2 \3/p' "$dir/served" | sort)
[[ $(wc -l <<<"$expected") -eq 4 ]] || fail "the programs serve not four statuses: $expected"
grep -q '9765 198.18.10.5 ERROR' <<<"$expected" || fail "the dropped host is not in ERROR: $expected"
grep -q '9766 198.18.3.1 WARNING' <<<"$expected" || fail "the rejected host is not in WARNING: $expected"
grep -qE '^127.0.0.1:9766 kelvoran_probe_failures_total\{host="198.18.3.1".*result="unreachable"\} [1-9]' "$dir/served" ||
  fail "the rejected host's failures are not counted as unreachable"
eventually "$expected" 'kelvoran_host_status == 1' \
  'map("\(.metric.instance) \(.metric.host) \(.metric.status)") | sort | join("\n")'

for family in kelvoran_alerts_sent_total kelvoran_alerts_failed_total; do
  expected=$(served_samples "$family")
  eventually "$expected" "$family" 'map("\(.metric.instance) \(.metric.channel) \(.value[1])") | sort | join("\n")'
done
[[ $(served_samples kelvoran_alerts_sent_total | tr '\n' ,) == "127.0.0.1:9765 Missing 0,127.0.0.1:9765 Touch 1," ]] ||
  fail "alerts sent: $(served_samples kelvoran_alerts_sent_total)"
[[ $(served_samples kelvoran_alerts_failed_total | tr '\n' ,) == "127.0.0.1:9765 Missing 1,127.0.0.1:9765 Touch 0," ]] ||
  fail "alerts failed: $(served_samples kelvoran_alerts_failed_total)"

# A probe a second per host, a scrape a second: Prometheus's count is the
# program's of at most a few seconds before.
known=$(prometheus_samples kelvoran_probes_sent_total host)
scrape_both
now=$(served_samples kelvoran_probes_sent_total)
[[ $(wc -l <<<"$known") -eq 4 ]] || fail "Prometheus has not four probe counters: $known"
join <(awk '{ print $1 "/" $2, $3 }' <<<"$known") <(awk '{ print $1 "/" $2, $3 }' <<<"$now") |
  while read -r key before after; do
    ((before <= after && after - before <= 5)) || fail "$key: Prometheus $before, the program $after"
  done

# Every panel query of the dashboard, with what Grafana would put in place
# of its variables.
mapfile -t queries < <(jq -r '.. | objects | select(has("expr")) | .expr' "$dashboard")
[[ ${#queries[@]} -ge 5 ]] || fail "only ${#queries[@]} queries in $dashboard"
for query in "${queries[@]}"; do
  query=${query//\$__rate_interval/10s}
  query=${query//\$__range/1m}
  query=${query//\$instance/.*}
  query=${query//\$host/.*}
  [[ $query != *'$'* ]] || fail "a variable is left in: $query"
  count=$(jq_query "$query" 'length')
  [[ $count -gt 0 ]] || fail "no data for the dashboard's $query"
done
echo "${#queries[@]} dashboard queries answered"
echo "PASS"
