# shellcheck shell=bash
# Sourced by the metrics scenarios: the echo probe's test network
# (tests/net/test_network.sh) with the programs and Prometheus in its probe
# namespace, where every address they listen on is the namespace's own
# loopback; a scratch folder; and on exit the end of every pid in $pids and
# of both. Exits 77 (skipped) without root. Sets ns, prefix, network, dir
# and pids; start_kelvoran runs $kelvoran, which the caller sets first.
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build network namespaces"
  exit 77
fi
network=$(dirname "${BASH_SOURCE[0]}")/../net/test_network.sh
# kvp-<pid>: test_network.sh removes what a run that died left behind by it.
prefix=kvp-$$
ns=$prefix-probe
dir=$(mktemp -d)
# shellcheck source=tests/metrics/scrape_helpers.sh
source "$(dirname "${BASH_SOURCE[0]}")/scrape_helpers.sh"
cleanup() {
  stop_started
  bash "$network" down "$prefix" || true
  rm -rf "$dir"
}
trap cleanup EXIT

in_ns() { ip netns exec "$ns" "$@"; }

# start_kelvoran FOLDER LOG PORT: the program without a window in the
# namespace, in FOLDER with its profile there too, serving metrics on PORT.
start_kelvoran() {
  : "${kelvoran:?set by the caller}"
  (cd "$1" && exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$1" \
    DBUS_SESSION_BUS_ADDRESS=disabled: ip netns exec "$ns" "$kelvoran" --headless \
    --metrics "127.0.0.1:$3" </dev/null >/dev/null 2>"$2") &
  pids+=($!)
}

# start_prometheus CONFIG: a real Prometheus server on 127.0.0.1:9090.
start_prometheus() {
  in_ns prometheus --config.file="$1" --storage.tsdb.path="$dir/tsdb" \
    --web.listen-address=127.0.0.1:9090 >"$dir/prometheus.log" 2>&1 &
  pids+=($!)
}

# prometheus_query EXPR: the answer of its HTTP API, as JSON.
prometheus_query() {
  in_ns curl -sS --max-time 2 -G "http://127.0.0.1:9090/api/v1/query" \
    --data-urlencode "query=$1" 2>/dev/null || true
}
