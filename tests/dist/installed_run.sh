#!/usr/bin/env bash
# The installed program as an ordinary user, where only its file capability
# lets it probe: inside a network namespace of its own (loopback only, and
# ping sockets closed to every group, as in any new namespace), it runs as
# "nobody" with a host list of one loopback host. Beside it, a copy of the
# same program without the capability must fail to open its socket, which
# shows that the capability is what makes the first one work. Both get
# SIGTERM after a few seconds and report their rows through
# KELVORAN_ROW_REPORT. The program's windows have to carry the WM_CLASS
# instance name that the menu entry names, or desktops cannot tie them to
# the entry (and show neither its name nor its icon for them).
#
#   with-xvfb installed_run.sh PROGRAM DESKTOP_ENTRY
#
# Needs root (namespaces, changing user); exits 77 (skipped) otherwise.
set -euo pipefail
program=${1:?usage: installed_run.sh PROGRAM DESKTOP_ENTRY}
desktop=${2:?usage: installed_run.sh PROGRAM DESKTOP_ENTRY}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build a network namespace and change user"
  exit 77
fi
user=nobody
group=$(id -gn "$user")
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# shellcheck source=tests/dist/loopback_namespace.sh
. "$(dirname "$0")/loopback_namespace.sh"

# start NAME PROGRAM: runs PROGRAM as the user in $scratch/NAME, which holds
# its host list, profile and row report; sets $started to the program's pid.
start() {
  local dir=$scratch/$1
  mkdir "$dir"
  printf '[loopback]\nHost=127.0.0.1\nDelay=1\nTimeout=1\nSuccessPeriod=0\n' >"$dir/KELVORAN.INI"
  chown -R "$user:$group" "$dir"
  # ip netns exec, setpriv and env each replace themselves: the pid is the
  # program's. setpriv drops root's capabilities with the user change, so the
  # program has only what its file grants on exec.
  ip netns exec "$ns" setpriv --reuid="$user" --regid="$group" --clear-groups -- \
    env -i -C "$dir" PATH=/usr/bin:/bin HOME="$dir" XDG_CONFIG_HOME="$dir" \
    DISPLAY="$DISPLAY" DBUS_SESSION_BUS_ADDRESS="${DBUS_SESSION_BUS_ADDRESS:-}" \
    NO_AT_BRIDGE=1 GTK_A11Y=none KELVORAN_ROW_REPORT="$dir/rows" "$2" </dev/null &
  started=$!
  pids+=("$started")
}

# A plain copy: cp carries no extended attributes, so no capability.
cp "$program" "$scratch/uncapable"
[[ -z "$(getcap "$scratch/uncapable")" ]] || fail "the copy kept the capability"

start installed "$program"
installed=$started
start copy "$scratch/uncapable"
copy=$started
sleep 4

wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
[[ -n "$wm_class" ]] || fail "the menu entry names no window class"
[[ $(xdotool search --onlyvisible --pid "$installed" --classname "^$wm_class\$" | wc -l) -ge 1 ]] ||
  fail "no window of the instance name $wm_class"

# Expects the program to close on SIGTERM with exit status 0.
close() {
  local pid=$1 status=0
  kill -TERM "$pid"
  timeout 20 tail --pid="$pid" -f /dev/null || fail "$2: did not close after SIGTERM"
  wait "$pid" || status=$?
  [[ "$status" -eq 0 ]] || fail "$2: exited with status $status after SIGTERM"
}
close "$installed" installed
close "$copy" copy

# row NAME: the loopback host's row; cells tab-separated after the status
# number (0 OK, 1 WARNING, 2 ERROR), the last error in field 10.
row() {
  [[ -s "$scratch/$1/rows" ]] || fail "$1: no row report"
  grep -P '^\d\t127\.0\.0\.1\t' "$scratch/$1/rows" || fail "$1: no row for 127.0.0.1"
}
line=$(row installed)
echo "installed: $line"
[[ "$(cut -f1 <<<"$line")" == 0 && -z "$(cut -f10 <<<"$line")" ]] ||
  fail "the installed program did not see 127.0.0.1 OK"
line=$(row copy)
echo "copy:      $line"
[[ "$(cut -f10 <<<"$line")" == "Internal error creating icmp handle." ]] ||
  fail "the copy without the capability probed all the same"
echo PASS
