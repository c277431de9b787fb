#!/usr/bin/env bash
# kelvoran --headless --metrics, scraped for real: the program runs in the
# test network's probe namespace (tests/net/test_network.sh) with an
# answering host and one whose echoes are dropped. Its /metrics must pass
# promtool's check and show the probes sent and the dropped host in ERROR; a
# second copy on the same port must say so and go on monitoring; 200 idle
# connections and a 1 MB header must neither stop a scrape nor grow the
# program's memory without bound; a real Prometheus server scraping it once
# a second must answer the dropped host's status through its HTTP API.
#
#   metrics_scrape.sh KELVORAN RESPONDER
#
# Needs root for the namespaces; exits 77 (skipped) otherwise. All traffic
# stays on the namespace's own loopback.
set -euo pipefail
kelvoran=${1:?usage: metrics_scrape.sh KELVORAN RESPONDER}
responder=${2:?usage: metrics_scrape.sh KELVORAN RESPONDER}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build network namespaces"
  exit 77
fi
network=$(dirname "$0")/../net/test_network.sh
prefix=kvp-$$
ns=$prefix-probe
port=9765
dir=$(mktemp -d)
source "$(dirname "$0")/scrape_helpers.sh"
cleanup() {
  stop_started
  bash "$network" down "$prefix" || true
  rm -rf "$dir"
}
trap cleanup EXIT

in_ns() { ip netns exec "$ns" "$@"; }
scrape() { in_ns curl -sS --max-time "${2:-5}" "http://127.0.0.1:$port${1:-/metrics}"; }
# The value of the one sample whose line starts with $1 (through the
# environment: awk -v would read the backslashes as escapes).
sample() { start=$1 awk 'index($0, ENVIRON["start"]) == 1 { print $NF }' "$dir/metrics"; }

# start_kelvoran FOLDER LOG: runs the program in the namespace, from FOLDER.
start_kelvoran() {
  (cd "$1" && exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$1" \
    DBUS_SESSION_BUS_ADDRESS=disabled: ip netns exec "$ns" "$kelvoran" --headless \
    --metrics "127.0.0.1:$port" </dev/null >/dev/null 2>"$2") &
  pids+=($!)
}

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

mkdir -p "$dir/main" "$dir/second"
# The description holds what the format escapes.
cat >"$dir/main/KELVORAN.INI" <<'INI'
[answering]
Host=198.18.10.1
Delay=1
Timeout=1
SuccessPeriod=0
Description=rack "A" \ row 2
[dropping]
Host=198.18.10.3
Delay=1
Timeout=1
FailPeriod=0
INI
: >"$dir/second/KELVORAN.INI"

bash "$network" up "$prefix" "$responder"
start_kelvoran "$dir/main" "$dir/kelvoran.log"
app=${pids[-1]}
wait_for "$dir/kelvoran.log" "Metrics for Prometheus at http://127\.0\.0\.1:$port/metrics\.$"
wait_for "$dir/kelvoran.log" ' 198\.18\.10\.3: WARNING -> ERROR: Request timed out\.$'
# The snapshot is taken at the end of a tick.
sleep 1.5

in_ns curl -sS --max-time 5 -D "$dir/headers" -o "$dir/metrics" "http://127.0.0.1:$port/metrics" ||
  fail "the scrape failed"
grep -qi '^content-type: text/plain; version=0.0.4; charset=utf-8' "$dir/headers" ||
  fail "wrong content type: $(cat "$dir/headers")"
lint=$(promtool check metrics <"$dir/metrics" 2>&1) || fail "promtool: $lint"
[[ -z $lint ]] || fail "promtool: $lint"
labels='host="198.18.10.1",description="rack \"A\" \\ row 2"'
dropped='host="198.18.10.3",description=""'
sent=$(sample "kelvoran_probes_sent_total{$labels}")
[[ $sent -gt 0 ]] || fail "no probes sent to the answering host: '$sent'"
[[ $(sample "kelvoran_replies_total{$labels}") -gt 0 ]] || fail "no replies counted"
[[ $(sample "kelvoran_host_status{$labels,status=\"OK\"}") == 1 ]] || fail "answering host not OK"
[[ $(sample "kelvoran_host_status{$dropped,status=\"ERROR\"}") == 1 ]] || fail "dropped host not in ERROR"
[[ $(sample "kelvoran_host_status{$dropped,status=\"OK\"}") == 0 ]] || fail "dropped host also OK"
[[ $(sample "kelvoran_probe_failures_total{$dropped,result=\"timed_out\"}") -gt 0 ]] ||
  fail "the dropped host's time-outs are not counted"
[[ $(sample "kelvoran_round_trip_seconds_count{$labels}") -gt 0 ]] || fail "no round trips"
code=$(in_ns curl -sS --max-time 5 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/")
[[ $code == 404 ]] || fail "/ answered $code, not 404"

# A second copy on the same port: told in its log, and it monitors on.
start_kelvoran "$dir/second" "$dir/second.log"
second=${pids[-1]}
wait_for "$dir/second.log" "Metrics for Prometheus are not served \(cannot listen on 127\.0\.0\.1:$port.*\); monitoring goes on\.$"
kill -0 "$second" 2>/dev/null || fail "the second copy ended"
kill -TERM "$second"

# Hostile clients: 200 connections that say nothing, one 1 MB header.
rss_before=$(rss_kb "$app")
in_ns python3 - "$port" "$dir/hostile.ready" >"$dir/hostile.log" 2>&1 <<'PY' &
import socket, sys, time
port, ready = int(sys.argv[1]), sys.argv[2]
idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(200)]
big = socket.create_connection(("127.0.0.1", port))
try:
    big.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * (1 << 20) + b"\r\n\r\n")
except OSError as error:
    print("the big header was cut off:", error, flush=True)
open(ready, "w").close()
time.sleep(30)
PY
pids+=($!)
for _ in $(seq 100); do [[ -e $dir/hostile.ready ]] && break; sleep 0.1; done
[[ -e $dir/hostile.ready ]] || fail "the hostile clients did not connect"
started=$(date +%s%N)
scrape /metrics 3 >"$dir/metrics" || fail "no scrape answered beside the hostile clients"
took=$((($(date +%s%N) - started) / 1000000))
grep -q '^kelvoran_probes_in_flight ' "$dir/metrics" || fail "the scrape beside them is incomplete"
rss_after=$(rss_kb "$app")
echo "scrape beside 200 idle connections: ${took} ms; memory ${rss_before} kB -> ${rss_after} kB"
((rss_after - rss_before < 16384)) || fail "memory grew by $((rss_after - rss_before)) kB"

# A real Prometheus server, scraping once a second, answers the status.
cat >"$dir/prometheus.yml" <<YML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: kelvoran
    static_configs:
      - targets: ['127.0.0.1:$port']
YML
in_ns prometheus --config.file="$dir/prometheus.yml" --storage.tsdb.path="$dir/tsdb" \
  --web.listen-address=127.0.0.1:9090 >"$dir/prometheus.log" 2>&1 &
pids+=($!)
query='kelvoran_host_status{host="198.18.10.3",status="ERROR"}'
answer=
for _ in $(seq 60); do
  answer=$(in_ns curl -sS --max-time 2 -G "http://127.0.0.1:9090/api/v1/query" \
    --data-urlencode "query=$query" 2>/dev/null || true)
  [[ $answer == *'"value":['*',"1"]'* ]] && break
  sleep 0.5
done
[[ $answer == *'"value":['*',"1"]'* ]] || fail "Prometheus did not answer the status: $answer"

kill -TERM "$app"
status=0
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not end after SIGTERM"
wait "$app" || status=$?
[[ $status -eq 0 ]] || fail "exit status $status after SIGTERM"
echo "PASS"
