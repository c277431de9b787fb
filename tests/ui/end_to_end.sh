#!/usr/bin/env bash
# The real program, end to end: kelvoran runs inside the test network's probe
# namespace (tests/net/test_network.sh) on the X server of with-xvfb, with a
# KELVORAN.INI of three hosts there: one answering, one whose echoes are
# dropped (FailPeriod 0, popup to this computer), one unknown name. After a few
# seconds it gets SIGTERM, closes as Exit does and reports its rows through
# KELVORAN_ROW_REPORT.
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
app=
cleanup() {
  [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
  bash "$network" down "$prefix" || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Sends SIGTERM and expects the program to close as Exit does: exit status 0.
close_with_sigterm() {
  local status=0
  kill -TERM "$app"
  timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not close after SIGTERM"
  wait "$app" || status=$?
  app=
  [[ "$status" -eq 0 ]] || fail "kelvoran exited with status $status after SIGTERM"
}

notification_boxes() {
  xdotool search --onlyvisible --name '^Kelvoran Notification$' 2>/dev/null | wc -l
}

bash "$network" up "$prefix" "$responder"
mkdir -p "$scratch/work" "$scratch/config"
cat >"$scratch/work/KELVORAN.INI" <<'INI'
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

cd "$scratch/work"
# ip netns exec replaces itself with the program: $! is kelvoran's pid.
XDG_CONFIG_HOME="$scratch/config" KELVORAN_ROW_REPORT="$scratch/rows" \
  ip netns exec "$prefix-probe" "$kelvoran" </dev/null &
app=$!

timeout 30 xdotool search --sync --onlyvisible --name '^Kelvoran Notification$' >/dev/null ||
  fail "no popup appeared"
# Further failures of the host while it stays in ERROR must not repeat it.
sleep 2
boxes=$(notification_boxes)
[[ "$boxes" -eq 1 ]] || fail "$boxes popups shown, expected one"

# The start-up About box (it closes itself after 10 s) is still up, so the
# close on SIGTERM has to end its modal loop first.
xdotool search --onlyvisible --name '^About Kelvoran$' >/dev/null ||
  fail "the start-up About box is gone before SIGTERM"
close_with_sigterm

[[ -s "$scratch/rows" ]] || fail "no row report"
cat "$scratch/rows"
# Status numbers: 0 OK, 1 WARNING, 2 ERROR. Cells: host, description, ...,
# error last.
row() { grep -P "^\\d\\t$1\\t" "$scratch/rows" || fail "no row for $1"; }
expect_row() {  # expect_row HOST STATUS ERROR_TEXT
  local line
  line=$(row "$1")
  [[ "$(cut -f1 <<<"$line")" == "$2" ]] || fail "$1: status $(cut -f1 <<<"$line"), expected $2"
  [[ "$(cut -f10 <<<"$line")" == "$3" ]] || fail "$1: error '$(cut -f10 <<<"$line")', expected '$3'"
}
expect_row 198.18.10.1 0 ""
expect_row 198.18.10.3 2 "Request timed out."
# Still WARNING: its FailPeriod (default 60 s) has not run out yet.
expect_row kv-unknown.invalid 1 "Error resolving host address."
# The close saved the placement as Exit does.
grep -q '^showCmd=' "$scratch/config/Brindlecot/Kelvoran by Brindlecot.conf" ||
  fail "the placement was not saved"

# SIGTERM as soon as the window shows, whether or not the start-up About box
# is up yet: a box still queued must not open over a window that is going.
# No hosts, so nothing is probed outside the namespaces.
cd "$scratch/config"
: >KELVORAN.INI
XDG_CONFIG_HOME="$scratch/config" KELVORAN_ROW_REPORT="$scratch/early-rows" "$kelvoran" </dev/null &
app=$!
timeout 30 xdotool search --sync --onlyvisible --pid "$app" --name 'brindlecot\.example$' \
  >/dev/null || fail "the window did not show"
close_with_sigterm
[[ -e "$scratch/early-rows" ]] || fail "no row report after an early SIGTERM"
echo "PASS"
