#!/usr/bin/env bash
# The service's command line run the way its unit runs it, without systemd:
# as the unit's user (nobody when that user does not exist here), with only
# the unit's ambient capability and bounding set, no new privileges, the
# unit's umask, in a state folder of its own, inside a network namespace of
# the test's (loopback only, ping sockets closed as in any new namespace).
#
#   - the program as given (the installed one carries a file capability as
#     well, which under no_new_privs must not get in the way),
#   - a copy without any file capability: the ambient capability alone
#     must let it probe,
#   - the copy without the ambient capability must fail to open its socket,
# each sees 127.0.0.1, reads its list again on the unit's ExecReload, and
# closes with status 0 on the unit's KillSignal within its TimeoutStopSec.
#
#   service_run.sh PROGRAM UNIT_FILE
#
# Needs root (namespaces, changing user); exits 77 (skipped) otherwise.
set -euo pipefail
program=$(realpath "${1:?usage: service_run.sh PROGRAM UNIT_FILE}")
unit=${2:?usage: service_run.sh PROGRAM UNIT_FILE}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build a network namespace and change user"
  exit 77
fi
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
setting() { sed -n "s/^$1=//p" "$unit" | tail -n 1; }

exec_start=$(setting ExecStart)
arguments=${exec_start#* }
[[ "$arguments" == --headless ]] || fail "ExecStart runs '$exec_start'"
capability=$(setting AmbientCapabilities)
[[ "$capability" == CAP_NET_RAW && "$(setting CapabilityBoundingSet)" == CAP_NET_RAW ]] ||
  fail "the unit does not confine the capabilities to CAP_NET_RAW"
[[ "$(setting NoNewPrivileges)" == yes ]] || fail "the unit allows new privileges"
signal=$(setting KillSignal)
stop_seconds=$(setting TimeoutStopSec)
umask_value=$(setting UMask)
reload=$(setting ExecReload)
user=$(setting User)
if ! id "$user" >/dev/null 2>&1; then
  echo "note: no user '$user' on this machine (the package makes it): running as nobody"
  user=nobody
fi
group=$(id -gn "$user")
cap=${capability,,}
cap=${cap#cap_}

# shellcheck source=tests/dist/loopback_namespace.sh
. "$(dirname "$0")/loopback_namespace.sh"

# start NAME PROGRAM [AMBIENT]: the program in $scratch/NAME, its log there;
# sets $started to its pid (ip netns exec, setpriv and env replace
# themselves).
start() {
  local dir=$scratch/$1 keep_caps=()
  mkdir -m 0750 "$dir"
  printf '[loopback]\nHost=127.0.0.1\nDelay=1\nTimeout=1\nSuccessPeriod=0\nFailPeriod=0\n' \
    >"$dir/KELVORAN.INI"
  chown -R "$user:$group" "$dir"
  [[ -z "${3:-}" ]] || keep_caps=(--inh-caps="+$3" --ambient-caps="+$3")
  (
    umask "$umask_value"
    # shellcheck disable=SC2086 # the unit's arguments split as systemd splits them
    exec ip netns exec "$ns" setpriv --reuid="$user" --regid="$group" --clear-groups \
      "${keep_caps[@]}" --bounding-set="-all,+$cap" --no-new-privs -- \
      env -i -C "$dir" PATH=/usr/bin:/bin HOME="$dir" "$2" $arguments </dev/null 2>"$dir/log"
  ) &
  started=$!
  pids+=("$started")
}
log_has() { grep -qE "$2" "$scratch/$1/log"; }
wait_for() {
  for _ in $(seq 100); do
    log_has "$1" "$2" && return 0
    sleep 0.1
  done
  fail "$1: no log line matching '$2': $(cat "$scratch/$1/log")"
}

cp "$program" "$scratch/uncapable"
chmod 755 "$scratch/uncapable"
[[ -z "$(getcap "$scratch/uncapable")" ]] || fail "the copy kept a file capability"
start given "$program" "$cap"
given=$started
start ambient "$scratch/uncapable" "$cap"
ambient=$started
start without "$scratch/uncapable"
without=$started

wait_for given ' 127\.0\.0\.1: WARNING -> OK$'
wait_for ambient ' 127\.0\.0\.1: WARNING -> OK$'
wait_for without ' 127\.0\.0\.1: WARNING -> ERROR: Internal error creating icmp handle\.$'

# The unit's reload command, with the pid systemd would put in.
${reload//\$MAINPID/$given}
wait_for given 'Host list read again: 0 hosts added, 0 removed, 1 kept\.'

close() {
  local pid=$1 status=0
  kill -s "${signal#SIG}" "$pid"
  timeout "$stop_seconds" tail --pid="$pid" -f /dev/null ||
    fail "$2: still running ${stop_seconds} s after $signal"
  wait "$pid" || status=$?
  [[ "$status" -eq 0 ]] || fail "$2: exit status $status after $signal"
  [[ "$(tail -n 1 "$scratch/$2/log")" == *" Closed, the history written out." ]] ||
    fail "$2: did not close cleanly: $(tail -n 3 "$scratch/$2/log")"
}
close "$given" given
close "$ambient" ambient
close "$without" without
# The unit's umask: the history is no one else's to read.
mode=$(stat -c %a "$scratch/given/KELVORAN.HISTORY")
[[ "$mode" == 640 ]] || fail "the history is made with mode $mode under UMask=$umask_value"
echo PASS
