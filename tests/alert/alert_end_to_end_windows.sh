#!/usr/bin/env bash
# The Windows program delivering alerts under Wine to the real delivery test
# servers (tests/delivery/delivery_servers.py: SMTP with STARTTLS, HTTPS, a
# test CA). Wine sends the echoes and the program's mail and requests from
# its own processes, so the servers and the whole Wine session (a prefix of
# the test's own) run inside a network namespace made here, on its loopback.
# Two channels in the registry, as the program keeps them there: a mail over
# STARTTLS (also when OK again) and a webhook that answers 500 once and then
# 200, both trusting the test CA through libcurl's Schannel. A host goes down
# (its echoes dropped) and comes back; the program is closed by the end of
# the session and its alert log read from KELVORAN.HISTORY.
#
#   with-xvfb alert_end_to_end_windows.sh KELVORAN.EXE
#
# Needs root for the namespace; exits 77 (skipped) otherwise.
set -euo pipefail
if [[ $# -eq 2 && $1 == --inside ]]; then
  inside=1
  shift
fi
program=$(realpath "${1:?usage: alert_end_to_end_windows.sh KELVORAN.EXE}")
here=$(cd "$(dirname "$0")" && pwd)

if [[ -z ${inside:-} ]]; then
  if [[ $EUID -ne 0 ]]; then
    echo "SKIPPED: needs root to build a network namespace"
    exit 77
  fi
  ns=kva-$$
  trap 'ip netns del "$ns" 2>/dev/null || true' EXIT
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  ip netns exec "$ns" "$here/../delivery/with-delivery-servers" "$0" --inside "$program"
  exit
fi

# --- inside the namespace, with the servers running ------------------------
# shellcheck disable=SC1090
source "$KELVORAN_DELIVERY_SERVERS"
# shellcheck source=tests/alert/received_items.sh
source "$here/received_items.sh"
# An address of this namespace's own: the kernel answers its echoes until the
# test drops them on their way in, and then they time out.
host=198.18.40.1
ip address add "$host/32" dev lo
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/wine WINEDEBUG=-all HOME=$scratch/home
mkdir -p "$WINEPREFIX" "$HOME" "$scratch/run"
app=
# The Wine server writes the prefix's registry as it ends: waited for, so
# that the prefix can be removed.
cleanup() {
  [[ -z $app ]] || kill -KILL "$app" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  show_received >&2
  sqlite3 "$scratch/run/KELVORAN.HISTORY" "SELECT * FROM alert_log" >&2 2>/dev/null || true
  cat "$scratch/output" >&2 2>/dev/null || true
  exit 1
}

# As scripts/test-windows: the server first, then wineboot's first start.
wineserver -p </dev/null >/dev/null 2>&1
WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i </dev/null >/dev/null 2>&1

# The channels as REG_SZ strings, as wxRegConfig writes text. Host names, not
# addresses, in the URLs: Schannel under Wine matches a certificate's names,
# not its IP addresses. The CA file is named as Windows names it.
reg_value() {  # reg_value NAME TEXT: one line of a .reg file
  local text=${2//\\/\\\\}
  printf '"%s"="%s"\r\n' "$1" "${text//\"/\\\"}"
}
ca=$(winepath -w "$CA_FILE")
channels='HKEY_CURRENT_USER\Software\Brindlecot\Kelvoran by Brindlecot\AlertChannels'
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s\\1]\r\n' "$channels"
  reg_value Name Mail
  reg_value Kind email
  reg_value AlsoWhenOk 1
  reg_value Server localhost
  reg_value Port "$SMTP_STARTTLS_PORT"
  reg_value Security starttls
  reg_value From kelvoran@example.test
  reg_value Recipient1 ops@example.test
  reg_value CaFile "$ca"
  printf '\r\n[%s\\2]\r\n' "$channels"
  reg_value Name Hook
  reg_value Kind webhook
  reg_value Url "https://localhost:$HTTPS_PORT/flaky/hook"
  reg_value CaFile "$ca"
  reg_value Body '{"host": "{host}", "status": "{status}", "event": "{event}"}'
} >"$scratch/channels.reg"
wine regedit /S "$(winepath -w "$scratch/channels.reg")" </dev/null >/dev/null 2>&1
wine reg query "${channels/HKEY_CURRENT_USER/HKCU}\\2" /v Body 2>/dev/null | grep -q '"host"' ||
  fail "the channels are not in the registry"

printf '[flapping]\r\nHost=%s\r\nDelay=1\r\nTimeout=1\r\nFailPeriod=0\r\nSuccessPeriod=0\r\n' \
  "$host" >"$scratch/run/KELVORAN.INI"
printf 'AlertChannels=Mail,Hook\r\n' >>"$scratch/run/KELVORAN.INI"
(cd "$scratch/run" && exec wine "$program" </dev/null >"$scratch/output" 2>&1) &
app=$!
# Shown once the program runs: a fresh prefix on a busy machine takes most of
# 30 s to show the first window.
shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
wait_for 60 "no About box" shown "^About Kelvoran$"
sleep 3

drop=(iptables -w -A INPUT -d "$host" -j DROP)
"${drop[@]}"
# Generous: now and then under Wine the first mail of a fresh prefix has
# taken more than 20 s (not found why; nothing had reached the server).
wait_for 60 "no down mail" count_is mail subject "${host//./\\.} is ERROR" 1
"${drop[@]/-A/-D}"
wait_for 60 "no OK-again mail" count_is mail subject "OK again" 1
count_is mail tls yes 2 || fail "a mail was sent without TLS"
# Each session ended with a QUIT that Schannel sent in sequence.
wait_for 5 "a mail's session did not end with QUIT" count_is mail quit yes 2
# The webhook answered 500 once: tried again after the first pause, once.
wait_for 75 "the webhook was not retried" count_is http path "^/flaky/hook" 2
mapfile -t hooks < <(grep -l "^/flaky/hook" "$RECEIVED_DIR"/*/path | xargs -n1 dirname)
pause=$(($(stat -c %Y "${hooks[1]}") - $(stat -c %Y "${hooks[0]}")))
((pause >= 29)) || fail "the webhook was tried again after $pause s"
[[ $(cat "${hooks[1]}/tls") == yes && $(cat "${hooks[1]}/json_valid") == yes &&
  $(cat "${hooks[1]}/json.host") == "$host" ]] || fail "the webhook's body: $(cat "${hooks[1]}/body")"

# Closed as by the end of the Windows session.
sleep 2
wineboot --end-session </dev/null >/dev/null 2>&1
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran.exe did not close"
status=0
wait "$app" || status=$?
app=
((status == 0)) || fail "kelvoran.exe exit status $status"
[[ $(received mail subject .) -eq 2 ]] || fail "$(received mail subject .) mails, expected 2"
[[ $(received http path "^/flaky/hook") -eq 2 ]] || fail "the webhook was sent again"

# kind: 0 down, 1 OK again; outcome: 0 sent, 1 failed; late 0 (not sent late).
log=$(sqlite3 "$scratch/run/KELVORAN.HISTORY" \
  "SELECT channel, kind, outcome, late FROM alert_log ORDER BY channel, kind, outcome")
echo "$log"
[[ $log == $'Hook|0|0|0\nHook|0|1|0\nMail|0|0|0\nMail|1|0|0' ]] || fail "the alert log"
echo "PASS"
