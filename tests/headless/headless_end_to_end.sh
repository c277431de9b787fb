#!/usr/bin/env bash
# kelvoran --headless, end to end, with no display and no session bus: it runs
# inside the test network's probe namespace (tests/net/test_network.sh) in a
# folder whose KELVORAN.INI lists an answering host and one whose echoes are
# dropped, the latter naming an alert channel that runs a program. Its log on
# stderr must show each change of status once and the alert sent; SIGHUP
# after a host is added to the file must probe it; SIGTERM must end it with
# status 0 and every result up to then in KELVORAN.HISTORY.
#
#   headless_end_to_end.sh KELVORAN RESPONDER
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
kelvoran=${1:?usage: headless_end_to_end.sh KELVORAN RESPONDER}
responder=${2:?usage: headless_end_to_end.sh KELVORAN RESPONDER}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build network namespaces"
  exit 77
fi
network=$(dirname "$0")/../net/test_network.sh
prefix=kvp-$$
dir=$(mktemp -d)
app=
cleanup() {
  [[ -z $app ]] || kill -KILL "$app" 2>/dev/null || true
  bash "$network" down "$prefix" || true
  rm -rf "$dir"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- log:" >&2
  cat "$dir/log" >&2 || true
  exit 1
}

# wait_for_line REGEX [SECONDS]: waits until the log has a matching line.
wait_for_line() {
  local tries=$((${2:-20} * 10))
  for _ in $(seq "$tries"); do
    grep -qE "$1" "$dir/log" && return 0
    sleep 0.1
  done
  fail "no log line matching '$1'"
}

count_lines() { grep -cE "$1" "$dir/log" || true; }

mkdir -p "$dir/Brindlecot"
# A program channel, and a webhook whose token would need a secret store:
# there is none here (no session bus, no secret file agreed to).
cat >"$dir/Brindlecot/Kelvoran by Brindlecot.conf" <<CONF
[AlertChannels/1]
Name=Touch
Kind=program
Program=/usr/bin/touch
Argument1=$dir/alerted
[AlertChannels/2]
Name=Hook
Kind=webhook
Url=http://127.0.0.1:9/hook
Header1=Authorization: Bearer {secret}
CONF
cat >"$dir/KELVORAN.INI" <<'INI'
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
AlertChannels=Touch
INI

bash "$network" up "$prefix" "$responder"
# ip netns exec replaces itself with the program: the pid is kelvoran's.
(cd "$dir" && exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$dir" \
  DBUS_SESSION_BUS_ADDRESS=disabled: ip netns exec "$prefix-probe" "$kelvoran" --headless \
  </dev/null >"$dir/stdout" 2>"$dir/log") &
app=$!

wait_for_line 'started without a window: 2 hosts of .*KELVORAN\.INI, 2 alert channels, history in '
wait_for_line ' 198\.18\.10\.1: WARNING -> OK$'
wait_for_line ' 198\.18\.10\.3: WARNING -> ERROR: Request timed out\.$'
wait_for_line ' 198\.18\.10\.3: alert to "Touch" \(down\) sent'
[[ -e "$dir/alerted" ]] || fail "the alert's program did not run"
# The webhook's missing token is told once, at the start.
[[ $(count_lines '"Hook" send without a password or token') -eq 1 ]] ||
  fail "the missing secret store is not told exactly once"

# A host added to the file is probed after SIGHUP; the others keep their rows.
printf '[added]\nHost=198.18.10.2\nDelay=1\nTimeout=1\nSuccessPeriod=0\n' >>"$dir/KELVORAN.INI"
sleep 2
kill -HUP "$app"
wait_for_line 'Host list read again: 1 host added, 0 removed, 2 kept\.'
wait_for_line ' 198\.18\.10\.2: WARNING -> OK$'
sleep 2
# One line per change, none per probe: each host changed status once.
for host in '198\.18\.10\.1' '198\.18\.10\.2'; do
  [[ $(count_lines " $host: ") -eq 1 ]] || fail "$host: not exactly one line"
done
[[ $(count_lines ' 198\.18\.10\.3: [A-Z]+ -> ') -eq 1 ]] || fail "198.18.10.3 changed more than once"

stopped_at=$(date +%s)
kill -TERM "$app"
status=0
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not end after SIGTERM"
wait "$app" || status=$?
app=
[[ $status -eq 0 ]] || fail "exit status $status after SIGTERM"
[[ $(tail -n 1 "$dir/log") == *" Closed, the history written out." ]] || fail "no closing line"
[[ $(count_lines ' Closing: ') -eq 1 ]] || fail "no line for the start of the closing"
[[ ! -s "$dir/stdout" ]] || fail "output on stdout: $(cat "$dir/stdout")"
# No popup: nobody would see it, and nothing tells of one.
grep -qi popup "$dir/log" && fail "a popup was mentioned"

history=$dir/KELVORAN.HISTORY
query() { sqlite3 "$history" "SELECT $1 JOIN hosts ON hosts.id = host WHERE key = '$2'"; }
for host in 198.18.10.1 198.18.10.2 198.18.10.3; do
  recorded=$(query "count(*) FROM samples" "$host")
  [[ $recorded -gt 0 ]] || fail "$host: no results in the history"
done
# The results of the last second before SIGTERM were written out at the close.
last=$(query "max(samples.time) FROM samples" 198.18.10.1)
[[ $((last / 1000)) -ge $((stopped_at - 2)) ]] ||
  fail "the last result in the history is from $((last / 1000)), SIGTERM came at $stopped_at"
[[ $(query "after_status, text FROM changes" 198.18.10.3) == "2|Request timed out." ]] ||
  fail "the entry into ERROR is not in the history"
[[ $(sqlite3 "$history" "SELECT count(*) FROM alert_log WHERE channel = 'Touch' AND outcome = 0") -ge 1 ]] ||
  fail "the alert is not in the history's alert log"
echo "PASS"
