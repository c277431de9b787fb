#!/usr/bin/env bash
# The real program delivering alerts to real servers: kelvoran runs in the
# test network's probe namespace (tests/net/test_network.sh) beside the
# delivery test servers (tests/delivery/delivery_servers.py: SMTP with
# STARTTLS and AUTH, HTTPS, a test CA), on the X server of with-xvfb. Its
# profile defines three channels: mail (also when OK again), a webhook that
# answers 500 once and then 200, and one that answers 503 until the program
# has been killed. A host goes down (its echoes dropped) and comes back;
# then the program is killed with SIGKILL while an alert waits, and started
# again with that channel mended.
#
#   with-xvfb alert_end_to_end.sh KELVORAN RESPONDER
#
# Needs root for the namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
# shellcheck source=tests/alert/in_test_network.sh
source "$(dirname "$0")/in_test_network.sh"
kelvoran=${1:?usage: alert_end_to_end.sh KELVORAN RESPONDER}

fail() {
  echo "FAIL: $*" >&2
  if [[ -n ${RECEIVED_DIR:-} ]]; then
    show_received >&2
    sqlite3 "$scratch/KELVORAN.HISTORY" "SELECT * FROM alert_log" >&2 2>/dev/null || true
  fi
  exit 1
}

scratch=$(mktemp -d)
app=
trap '[[ -z $app ]] || kill -KILL "$app" 2>/dev/null || true; rm -rf "$scratch"' EXIT
profile=$scratch/Brindlecot/Kelvoran\ by\ Brindlecot.conf
mkdir -p "$scratch/Brindlecot"

write_profile() {  # write_profile LATE_PATH
  cat >"$profile" <<CONF
[AlertSecrets]
InFile=1
[AlertChannels/1]
Name=Mail
Kind=email
AlsoWhenOk=1
Server=localhost
Port=$SMTP_STARTTLS_PORT
Security=starttls
User=$SMTP_USER
From=kelvoran@example.test
Recipient1=ops@example.test
CaFile=$CA_FILE
[AlertChannels/2]
Name=Hook
Kind=webhook
Url=https://localhost:$HTTPS_PORT/flaky/hook
CaFile=$CA_FILE
Header1=Authorization: Bearer {secret}
Body={"host": "{host}", "status": "{status}", "event": "{event}"}
[AlertChannels/3]
Name=Late
Kind=webhook
Url=http://localhost:$HTTP_PORT$1
Body={"host": "{host}", "event": "{event}"}
CONF
}
write_profile /status/503/late
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
printf '%s\nMail=%s\nHook=%s\n' "# secrets" "$(hex "$SMTP_PASSWORD")" "$(hex token-1)" \
  >"$scratch/Brindlecot/alert-secrets"
chmod 600 "$scratch/Brindlecot/alert-secrets"
cat >"$scratch/KELVORAN.INI" <<'INI'
[flapping]
Host=198.18.10.1
Description=Router "A"; $(reboot)
Delay=1
Timeout=1
FailPeriod=0
SuccessPeriod=0
AlertChannels=Mail,Hook,Late
INI

start() {
  (cd "$scratch" && XDG_CONFIG_HOME="$scratch" KELVORAN_ROW_REPORT="$scratch/rows" \
    DBUS_SESSION_BUS_ADDRESS=disabled: exec "$kelvoran" </dev/null) &
  app=$!
}

start
sleep 3
drop=(iptables -w -A OUTPUT -d 198.18.10.1 -j DROP)
"${drop[@]}"
wait_for 20 "no down mail" count_is mail subject "198\.18\.10\.1 is ERROR" 1
"${drop[@]/-A/-D}"
wait_for 20 "no OK-again mail" count_is mail subject "OK again" 1
mail=$(grep -l "OK again" "$RECEIVED_DIR"/*/subject | head -1)
[[ $(cat "$(dirname "$mail")/auth_user") == "$SMTP_USER" ]] || fail "the mail was sent without AUTH"
[[ $(cat "$(dirname "$mail")/tls") == yes ]] || fail "the mail was sent without TLS"
# The webhook answered 500 once: tried again after the first pause, once.
wait_for 75 "the webhook was not retried" count_is http path "^/flaky/hook" 2
hook=$(grep -l "^/flaky/hook" "$RECEIVED_DIR"/*/path | tail -1)
hook=$(dirname "$hook")
[[ $(cat "$hook/json_valid") == yes && $(cat "$hook/json.host") == 198.18.10.1 ]] ||
  fail "the webhook's body: $(cat "$hook/body")"
[[ $(cat "$hook/header.authorization") == "Bearer token-1" ]] || fail "no token in the webhook"
[[ $(received http path "^/status/503/late") -ge 1 ]] || fail "the failing channel was not tried"

# Killed outright while the Late alert waits: it is kept in the history file.
sleep 2
kill -KILL "$app"
wait "$app" 2>/dev/null || true
write_profile /status/200/late
start
wait_for 20 "the waiting alert was not sent after the restart" \
  count_is http path "^/status/200/late" 1
sleep 3
kill -TERM "$app"
wait "$app" || fail "kelvoran exited with status $? after SIGTERM"
app=
[[ $(received mail subject .) -eq 2 ]] || fail "$(received mail subject .) mails, expected 2"
[[ $(received http path "^/flaky/hook") -eq 2 ]] || fail "the webhook was sent again"
[[ $(received http path "^/status/200/late") -eq 1 ]] || fail "the late alert was sent twice"

log=$(sqlite3 "$scratch/KELVORAN.HISTORY" \
  "SELECT channel, kind, outcome, late FROM alert_log ORDER BY time, rowid")
echo "$log"
expected_lines=("Mail|0|0|0" "Mail|1|0|0" "Hook|0|1|0" "Hook|0|0|0" "Late|0|0|1")
for line in "${expected_lines[@]}"; do
  grep -qxF "$line" <<<"$log" || fail "the alert log lacks $line"
done
echo "PASS"
