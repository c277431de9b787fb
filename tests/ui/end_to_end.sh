#!/usr/bin/env bash
# The real program, end to end: kelvoran runs inside the test network's probe
# namespace (tests/net/test_network.sh) on the X server of with-xvfb, with a
# KELVORAN.INI of three hosts there: one answering, one whose echoes are
# dropped (FailPeriod 0, popup to this computer), one unknown name. After a few
# seconds it gets SIGTERM, closes as Exit does and reports its rows through
# KELVORAN_ROW_REPORT; its history file is read back. Alongside, a second
# instance watching this computer's loopback address shares its folder with a
# second copy started while its file chooser lists that folder: only the
# first records history. It gets SIGTERM while a message box is open.
#
#   with-xvfb end_to_end.sh KELVORAN RESPONDER
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
kelvoran=${1:?usage: end_to_end.sh KELVORAN RESPONDER}
responder=${2:?usage: end_to_end.sh KELVORAN RESPONDER}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build network namespaces"
  exit 77
fi
network=$(dirname "$0")/../net/test_network.sh
# test_network.sh removes kvp-<pid>-* of processes that died without tearing down.
prefix=kvp-$$
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  bash "$network" down "$prefix" || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start NAME [COMMAND PREFIX...]: runs kelvoran in $scratch/NAME, which holds
# its KELVORAN.INI, profile and row report; prints nothing, sets $started.
start() {
  local dir=$scratch/$1
  (cd "$dir" && XDG_CONFIG_HOME="$dir" KELVORAN_ROW_REPORT="$dir/rows" \
    exec "${@:2}" "$kelvoran" </dev/null) &
  started=$!
  pids+=("$started")
}

# windows PID TITLE_REGEX: how many shown windows of the program match.
windows() {
  xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | wc -l
}

# Sends SIGTERM and expects the program to close as Exit does: exit status 0,
# the placement saved.
close_with_sigterm() {
  local pid=$1 dir=$scratch/$2 status=0
  kill -TERM "$pid"
  timeout 20 tail --pid="$pid" -f /dev/null || fail "$2: kelvoran did not close after SIGTERM"
  wait "$pid" || status=$?
  [[ "$status" -eq 0 ]] || fail "$2: kelvoran exited with status $status after SIGTERM"
  grep -q '^showCmd=' "$dir/Brindlecot/Kelvoran by Brindlecot.conf" ||
    fail "$2: the placement was not saved"
}

mkdir -p "$scratch/plain" "$scratch/network" "$scratch/second"
# Loopback only, so this one probes nothing outside the namespaces.
printf '[loopback]\nHost=127.0.0.1\nDelay=1\nTimeout=1\n' >"$scratch/plain/KELVORAN.INI"
start plain
plain=$started

bash "$network" up "$prefix" "$responder"
cat >"$scratch/network/KELVORAN.INI" <<'INI'
[answering]
Host=198.18.10.1
Delay=1
Timeout=1
SuccessPeriod=0
[dropping]
Host=198.18.10.3
Delay=1
Timeout=1
FailPeriod=0
PopupDestination=localhost
PopupMessage=dropping is down
[unknown]
Host=kv-unknown.invalid
Delay=1
Timeout=1
INI
# ip netns exec replaces itself with the program: the pid is kelvoran's.
start network ip netns exec "$prefix-probe"
app=$started

timeout 30 xdotool search --all --sync --onlyvisible --pid "$app" --name '^Kelvoran Notification$' \
  >/dev/null || fail "no popup appeared"
# Further failures of the host while it stays in ERROR must not repeat it.
sleep 2
boxes=$(windows "$app" '^Kelvoran Notification$')
[[ "$boxes" -eq 1 ]] || fail "$boxes popups shown, expected one"

# The start-up About box (it closes itself after 10 s) is still up, so the
# close on SIGTERM has to end its modal loop first.
[[ $(windows "$app" '^About Kelvoran$') -eq 1 ]] ||
  fail "the start-up About box is gone before SIGTERM"
close_with_sigterm "$app" network

rows=$scratch/network/rows
[[ -s "$rows" ]] || fail "no row report"
cat "$rows"
# Status numbers: 0 OK, 1 WARNING, 2 ERROR. Cells: host, description, delay,
# sent, ..., error in field 10; then the received and failed counts.
expect_row() {  # expect_row HOST STATUS ERROR_TEXT answered|failed
  local line sent expected
  line=$(grep -P "^\\d\\t$1\\t" "$rows") || fail "no row for $1"
  [[ "$(cut -f1 <<<"$line")" == "$2" ]] || fail "$1: status $(cut -f1 <<<"$line"), expected $2"
  [[ "$(cut -f10 <<<"$line")" == "$3" ]] || fail "$1: error '$(cut -f10 <<<"$line")', expected '$3'"
  sent=$(cut -f5 <<<"$line")
  [[ "$4" == answered ]] && expected="$sent"$'\t0' || expected=$'0\t'"$sent"
  [[ "$sent" -gt 0 && "$(cut -f11,12 <<<"$line")" == "$expected" ]] ||
    fail "$1: received, failed '$(cut -f11,12 <<<"$line")' of $sent sent, expected '$expected'"
}
expect_row 198.18.10.1 0 "" answered
expect_row 198.18.10.3 2 "Request timed out." failed
# Still WARNING: its FailPeriod (default 60 s) has not run out yet.
expect_row kv-unknown.invalid 1 "Error resolving host address." failed

# The history beside the settings file holds every result the rows count, and
# the entry into ERROR with the text of the result that caused it.
history=$scratch/network/KELVORAN.HISTORY
query() { sqlite3 "$history" "SELECT $1 JOIN hosts ON hosts.id = host WHERE key = '$2'"; }
for host in 198.18.10.1 198.18.10.3 kv-unknown.invalid; do
  sent=$(grep -P "^\\d\\t$host\\t" "$rows" | cut -f5)
  recorded=$(query "count(*) FROM samples" "$host")
  [[ "$recorded" == "$sent" ]] || fail "$host: $recorded results in the history, $sent sent"
done
[[ $(query "after_status, text FROM changes" 198.18.10.3) == "2|Request timed out." ]] ||
  fail "the entry into ERROR is not in the history"

# With the start-up box gone by itself, the first copy's file chooser opens
# in its folder (it opens the files it lists, the history among them), and a
# second copy starts there meanwhile.
for _ in $(seq 150); do
  [[ $(windows "$plain" '^About Kelvoran$') -eq 0 ]] && break
  sleep 0.1
done
[[ $(windows "$plain" '^About Kelvoran$') -eq 0 ]] || fail "the start-up About box stays"
main=$(xdotool search --onlyvisible --pid "$plain" --name 'brindlecot\.example$' | head -1)
[[ -n "$main" ]] || fail "the plain window is not shown"
xdotool windowfocus --sync "$main" key alt+h i
timeout 10 xdotool search --sync --onlyvisible --pid "$plain" --name '^Import hosts$' >/dev/null ||
  fail "no file chooser"
sleep 1
(cd "$scratch/plain" && XDG_CONFIG_HOME="$scratch/second" KELVORAN_ROW_REPORT="$scratch/second/rows" \
  exec "$kelvoran" </dev/null) &
second=$!
pids+=("$second")
timeout 10 xdotool search --sync --onlyvisible --pid "$second" --name 'brindlecot\.example$' \
  >/dev/null || fail "the second copy's window is not shown"
sleep 3
# The second copy leaves the history to the first: it never holds it open.
if ls -l "/proc/$second/fd" | grep -q 'KELVORAN\.HISTORY'; then
  fail "the second copy opened the first copy's history"
fi
chooser=$(xdotool search --onlyvisible --pid "$plain" --name '^Import hosts$' | head -1)
xdotool windowfocus --sync "$chooser" key Escape
xdotool windowfocus --sync "$main" key ctrl+r
timeout 10 xdotool search --sync --onlyvisible --pid "$plain" --name '^Kelvoran by Brindlecot$' \
  >/dev/null || fail "no question box"
# The signal must end the open box, not wait for someone to answer it.
close_with_sigterm "$plain" plain
[[ -e "$scratch/plain/rows" ]] || fail "no row report from the plain instance"
close_with_sigterm "$second" second
[[ -e "$scratch/second/rows" ]] || fail "no row report from the second copy"
history=$scratch/plain/KELVORAN.HISTORY
sent=$(grep -P "^\\d\\t127\\.0\\.0\\.1\\t" "$scratch/plain/rows" | cut -f5)
recorded=$(query "count(*) FROM samples" 127.0.0.1)
[[ "$sent" -gt 0 && "$recorded" == "$sent" ]] ||
  fail "$recorded results in the shared history, the first copy sent $sent"
echo "PASS"
