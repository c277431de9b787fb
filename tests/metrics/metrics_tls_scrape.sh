#!/usr/bin/env bash
# kelvoran --headless --metrics with basic auth and TLS, scraped for real in
# a network namespace of the test's own: the certificate is made here by
# openssl, the password's bcrypt hash by libcrypt (Python's crypt). curl
# without credentials gets 401, plain HTTP gets nothing; 50 clients stuck
# part way through their TLS handshake or headers do not stop a scrape; a
# real Prometheus server scraping over https with basic_auth reads the
# program's figures through its HTTP API.
#
#   metrics_tls_scrape.sh KELVORAN
#
# Needs root for the namespace; exits 77 (skipped) otherwise.
set -euo pipefail
kelvoran=${1:?usage: metrics_tls_scrape.sh KELVORAN}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build a network namespace"
  exit 77
fi
ns=kvt-$$
port=9765
dir=$(mktemp -d)
# shellcheck source=tests/metrics/scrape_helpers.sh
source "$(dirname "$0")/scrape_helpers.sh"
cleanup() {
  stop_started
  ip netns delete "$ns" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

in_ns() { ip netns exec "$ns" "$@"; }
url=https://127.0.0.1:$port/metrics
# scrape [CURL OPTIONS...]: the status code, the body in $dir/metrics.
scrape() { in_ns curl -sS --max-time 5 --cacert "$dir/cert.pem" -o "$dir/metrics" -w '%{http_code}' "$@" "$url"; }

ip netns add "$ns"
in_ns ip link set lo up

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>"$dir/openssl.log"
password='correct horse:battery'
python3 -W ignore -c 'import crypt, sys; print(crypt.crypt(sys.argv[1], crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=1024)))' \
  "$password" >"$dir/hash"
chmod 600 "$dir/hash" "$dir/key.pem"
: >"$dir/KELVORAN.INI"

(cd "$dir" && exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$dir" \
  DBUS_SESSION_BUS_ADDRESS=disabled: ip netns exec "$ns" "$kelvoran" --headless \
  --metrics "127.0.0.1:$port" --metrics-user prom --metrics-password-hash-file "$dir/hash" \
  --metrics-tls-cert "$dir/cert.pem" --metrics-tls-key "$dir/key.pem" \
  </dev/null >/dev/null 2>"$dir/kelvoran.log") &
pids+=($!)
app=${pids[-1]}
wait_for "$dir/kelvoran.log" "Metrics for Prometheus at https://127\.0\.0\.1:$port/metrics \(basic auth\)\.$"
grep -q "may be read by every user" "$dir/kelvoran.log" && fail "a 0600 hash file was warned about"

code=$(scrape) || fail "the https scrape without credentials failed"
[[ $code == 401 ]] || fail "no credentials answered $code, not 401"
code=$(scrape -u "prom:wrong") || true
[[ $code == 401 ]] || fail "a wrong password answered $code, not 401"
in_ns curl -sS --max-time 5 -o /dev/null "http://127.0.0.1:$port/metrics" 2>/dev/null &&
  fail "plain HTTP was answered"
first=$(in_ns curl -sS --max-time 5 --cacert "$dir/cert.pem" -u "prom:$password" -o /dev/null \
  -w '%{time_total}' "$url") || fail "the first scrape with credentials failed"
code=$(scrape -u "prom:$password") || fail "the scrape with credentials failed"
[[ $code == 200 ]] || fail "the right credentials answered $code"
grep -q '^kelvoran_build_info{' "$dir/metrics" || fail "the scrape is incomplete"

# Slow clients: 25 that send half a TLS record and stop, 25 that finish the
# handshake and send half a request.
in_ns python3 - "$port" "$dir/cert.pem" "$dir/slow.ready" >"$dir/slow.log" 2>&1 <<'PY' &
import socket, ssl, sys, time
port, ca, ready = int(sys.argv[1]), sys.argv[2], sys.argv[3]
held = []
for _ in range(25):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"\x16\x03\x01\x02\x00\x01")  # a ClientHello's first bytes
    held.append(s)
context = ssl.create_default_context(cafile=ca)
for _ in range(25):
    s = context.wrap_socket(socket.create_connection(("127.0.0.1", port)),
                            server_hostname="127.0.0.1")
    s.sendall(b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n")
    held.append(s)
open(ready, "w").close()
time.sleep(30)
PY
pids+=($!)
for _ in $(seq 100); do [[ -e $dir/slow.ready ]] && break; sleep 0.1; done
[[ -e $dir/slow.ready ]] || fail "the slow clients did not connect"
started=$(date +%s%N)
code=$(scrape -u "prom:$password" --max-time 3) || fail "no scrape answered beside the slow clients"
[[ $code == 200 ]] || fail "beside the slow clients the scrape answered $code"
took=$((($(date +%s%N) - started) / 1000000))
echo "https scrape with basic auth: first ${first} s (bcrypt), beside 50 slow TLS clients ${took} ms"

cat >"$dir/prometheus.yml" <<YML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: kelvoran
    scheme: https
    tls_config:
      ca_file: $dir/cert.pem
    basic_auth:
      username: prom
      password: '$password'
    static_configs:
      - targets: ['127.0.0.1:$port']
YML
in_ns prometheus --config.file="$dir/prometheus.yml" --storage.tsdb.path="$dir/tsdb" \
  --web.listen-address=127.0.0.1:9090 >"$dir/prometheus.log" 2>&1 &
pids+=($!)
query='kelvoran_build_info'
answer=
for _ in $(seq 60); do
  answer=$(in_ns curl -sS --max-time 2 -G "http://127.0.0.1:9090/api/v1/query" \
    --data-urlencode "query=$query" 2>/dev/null || true)
  [[ $answer == *'"value":['*',"1"]'* ]] && break
  sleep 0.5
done
[[ $answer == *'"value":['*',"1"]'* ]] || fail "Prometheus did not scrape over https: $answer"

kill -TERM "$app"
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not end after SIGTERM"
echo "PASS"
