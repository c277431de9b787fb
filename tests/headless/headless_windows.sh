#!/usr/bin/env bash
# kelvoran.exe --headless under Wine: --version and --help reach the output
# the program was started with although it is a GUI-subsystem program; a run
# in a folder listing this computer's loopback address logs the host's change
# of status, and Ctrl+C (Wine turns the SIGINT a console program gets into
# CTRL_C_EVENT for the handlers it registered) ends it with status 0 and its
# results in the history.
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
  [[ -z $app ]] || kill -KILL "$app" 2>/dev/null || true
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

printf '[loopback]\nHost=127.0.0.1\nDelay=1\nTimeout=1\nSuccessPeriod=0\n' >"$scratch/KELVORAN.INI"
# wine ends in the process of the program itself: the pid is the program's.
(cd "$scratch" && exec wine "$program" --headless </dev/null >"$scratch/stdout" 2>"$scratch/log") &
app=$!
for _ in $(seq 600); do
  grep -q ' 127\.0\.0\.1: WARNING -> OK' "$scratch/log" && break
  sleep 0.1
done
grep -q ' 127\.0\.0\.1: WARNING -> OK' "$scratch/log" || fail "no change of status logged"
grep -q 'started without a window: 1 host of ' "$scratch/log" || fail "no start line"

kill -INT "$app"
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
