#!/usr/bin/env bash
# kelvoran.exe --headless under Wine: --version and --help reach the output
# the program was started with although it is a GUI-subsystem program; a run
# in a folder listing this computer's loopback address logs the host's change
# of status, serves it for Prometheus on loopback behind basic auth (when the
# build has the endpoint: a real Prometheus server scrapes it with the
# password, a wrong one is refused), and Ctrl+C ends it with status 0 and its
# results in the history.
# Wine turns SIGINT into CTRL_C_EVENT only for a program with a console: it
# runs on a pseudo-terminal (script(1)), where Wine gives it one, as a job of
# its own (set -m): a background command of a script without job control
# starts with SIGINT ignored, and Wine would never hear it.
#
#   headless_windows.sh KELVORAN.EXE
#
# Runs in the Wine prefix of the environment (WINEPREFIX), as the other
# Windows tests do.
set -euo pipefail
program=${1:?usage: headless_windows.sh KELVORAN.EXE}
scratch=$(mktemp -d)
app=
cleanup() {
  [[ -z $app ]] || kill -KILL -- -"$app" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
export WINEDEBUG=-all

fail() {
  echo "FAIL: $*" >&2
  echo "--- log:" >&2
  cat "$scratch/log" >&2 2>/dev/null || true
  exit 1
}

version=$(wine "$program" --version </dev/null | tr -d '\r')
[[ $version =~ ^Kelvoran\ by\ Brindlecot\ [0-9]+\.[0-9]+$ ]] || fail "--version printed '$version'"
usage=$(wine "$program" --help </dev/null | tr -d '\r')
[[ $usage == *"Ctrl+C"* && $usage == *"Popup messages are not sent"* ]] || fail "--help: $usage"
[[ $usage != *SIGHUP* ]] || fail "--help names a signal Windows does not have"
status=0
wine "$program" --headless --bogus </dev/null >/dev/null 2>"$scratch/log" || status=$?
[[ $status -eq 2 ]] || fail "an unknown argument gave status $status"

# The scrapes' credentials: htpasswd -B's hash (cost 10) of the password.
user=prom
password=prometheus-scrape
hash='$2y$10$XEDyOr0zJKnAH.LFdlmrYeHtRolTrvzuFHOL2wMmgK/jsPOuHTn/2'

# A real Prometheus server on loopback scrapes the program each second with
# the password, and its HTTP API returns the host OK.
scraped_by_prometheus() {
  local web=$((port + 1)) answer='' prometheus=''
  (umask 077 && printf '%s' "$password" >"$scratch/prometheus.password")
  printf 'global: {scrape_interval: 1s}\nscrape_configs:\n- job_name: kelvoran\n  %s\n  %s\n' \
    "basic_auth: {username: $user, password_file: '$scratch/prometheus.password'}" \
    "static_configs: [{targets: ['127.0.0.1:$port']}]" >"$scratch/prometheus.yml"
  prometheus --config.file="$scratch/prometheus.yml" --storage.tsdb.path="$scratch/tsdb" \
    --web.listen-address="127.0.0.1:$web" >"$scratch/prometheus.log" 2>&1 &
  prometheus=$!
  for _ in $(seq 300); do
    answer=$(curl -sS --max-time 2 -G "http://127.0.0.1:$web/api/v1/query" \
      --data-urlencode 'query=kelvoran_host_status{host="127.0.0.1",status="OK"}' 2>/dev/null) || true
    [[ $answer == *'"value":['*',"1"]'* ]] && break
    sleep 0.1
  done
  kill "$prometheus"
  wait "$prometheus" || true
  [[ $answer == *'"value":['*',"1"]'* ]] ||
    fail "Prometheus did not scrape the host OK: $answer $(tail -n 5 "$scratch/prometheus.log")"
}

printf '[loopback]\nHost=127.0.0.1\nDelay=1\nTimeout=1\nSuccessPeriod=0\n' >"$scratch/KELVORAN.INI"
(umask 077 && printf '%s\n' "$hash" >"$scratch/metrics.hash")
port=$((20000 + RANDOM % 20000))
set -m
(cd "$scratch" && exec script -qfec \
  "exec wine '$program' --headless --metrics 127.0.0.1:$port --metrics-user $user \
    --metrics-password-hash-file metrics.hash 2>'$scratch/log'" /dev/null \
  </dev/null >/dev/null 2>&1) &
app=$!
set +m
for _ in $(seq 600); do
  grep -qs ' 127\.0\.0\.1: WARNING -> OK' "$scratch/log" && break
  sleep 0.1
done
grep -q ' 127\.0\.0\.1: WARNING -> OK' "$scratch/log" || fail "no change of status logged"
grep -q 'started without a window: 1 host of ' "$scratch/log" || fail "no start line"
if ! grep -q 'this build of Kelvoran has no metrics endpoint' "$scratch/log"; then
  grep -q "Metrics for Prometheus at http://127\.0\.0\.1:$port/metrics (basic auth)\." \
    "$scratch/log" || fail "no line for the metrics endpoint"
  sleep 1.5
  url="http://127.0.0.1:$port/metrics"
  for wrong in "$user:not-$password" "other:$password"; do
    refused=$(curl -sS --max-time 5 -o /dev/null -w '%{http_code}' -u "$wrong" "$url") || true
    [[ $refused == 401 ]] || fail "credentials $wrong got $refused, not 401"
  done
  refused=$(curl -sS --max-time 5 -o /dev/null -w '%{http_code}' "$url") || true
  [[ $refused == 401 ]] || fail "a scrape without credentials got $refused, not 401"
  curl -sS --max-time 5 -f -u "$user:$password" -o "$scratch/metrics" "$url" || fail "no scrape"
  grep -qx 'kelvoran_host_status{host="127.0.0.1",description="",status="OK"} 1' \
    "$scratch/metrics" || fail "the scrape does not show the host OK: $(cat "$scratch/metrics")"
  if command -v promtool >/dev/null; then
    lint=$(promtool check metrics <"$scratch/metrics" 2>&1) || fail "promtool: $lint"
  fi
  if command -v prometheus >/dev/null; then scraped_by_prometheus; fi
fi

# wine ends in the program's own process, script's child.
kill -INT "$(pgrep -P "$app")"
timeout 30 tail --pid="$app" -f /dev/null || fail "kelvoran.exe did not end on Ctrl+C"
status=0
wait "$app" || status=$?
app=
[[ $status -eq 0 ]] || fail "exit status $status after Ctrl+C"
tail -n 1 "$scratch/log" | grep -q ' Closed' || fail "no closing line"
if [[ -e $scratch/KELVORAN.HISTORY ]] && command -v sqlite3 >/dev/null; then
  recorded=$(sqlite3 "$scratch/KELVORAN.HISTORY" "SELECT count(*) FROM samples")
  [[ $recorded -gt 0 ]] || fail "no results in the history"
fi
echo "PASS"
