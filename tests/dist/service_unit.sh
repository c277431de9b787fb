#!/usr/bin/env bash
# The kelvoran-headless unit as a package build installs it: systemd's own
# checker finds nothing wrong with it (its program, its manual page, every
# setting and the units it names), and it agrees with the entry of its user.
# Where systemd runs the machine the unit is then started for real, with the
# build's program, and stopped; elsewhere that part is skipped and says why.
#
#   service_unit.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: service_unit.sh BUILD_DIR}
root=$(mktemp -d)
name=kelvoran-headless.service
transient=
cleanup() {
  if [[ -n "$transient" ]]; then
    systemctl stop "$transient" 2>/dev/null || true
    rm -f "/run/systemd/system/$transient"
    systemctl daemon-reload || true
  fi
  rm -rf "$root"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
unit=$root/usr/lib/systemd/system/$name
sysusers=$root/usr/lib/sysusers.d/kelvoran.conf
[[ -f "$unit" && -f "$sysusers" ]] || fail "the unit or its user's entry is not installed"
setting() { sed -n "s/^$1=//p" "$unit" | tail -n 1; }

# The units it names (targets) and the reload command come from this system,
# as they would on the one the package is installed on.
cp -an /lib/systemd/system/. "$root/usr/lib/systemd/system/"
reload=$(setting ExecReload)
mkdir -p "$root$(dirname "${reload%% *}")"
cp "${reload%% *}" "$root${reload%% *}"
# The checker looks the Documentation= page up with man, which finds the
# installed one through MANPATH.
if report=$(MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" "$name" 2>&1); then
  [[ -z "$report" ]] || fail "systemd-analyze verify has remarks: $report"
else
  fail "systemd-analyze verify: $report"
fi

# The unit's user, home and state folder are one.
read -r kind user _ <<<"$(grep -v '^#' "$sysusers")"
home=$(grep -v '^#' "$sysusers" | grep -oE '/var/lib/[^ ]+')
[[ "$kind" == u && "$(setting User)" == "$user" && "$(setting Group)" == "$user" ]] ||
  fail "the unit runs as '$(setting User)', the package makes '$user'"
[[ "$(setting WorkingDirectory)" == "$home" && "/var/lib/$(setting StateDirectory)" == "$home" &&
  "$(setting Environment)" == "HOME=$home" ]] ||
  fail "the working folder, state folder and home differ"
# Off until the administrator enables it: nothing in the package enables it.
[[ -z "$(find "$root" -path '*.wants/*' -name "$name")" ]] || fail "the package enables the unit"

if [[ "$(ps -p 1 -o comm=)" != systemd ]]; then
  echo "not run: starting the unit needs systemd as PID 1; here it is '$(ps -p 1 -o comm=)'"
  echo PASS
  exit 0
fi
if [[ $EUID -ne 0 ]] || ! getent passwd "$user" >/dev/null; then
  echo "not run: starting the unit needs root and the user '$user' (the package makes it)"
  echo PASS
  exit 0
fi
# A copy under another name, with the build's program and a host list of
# loopback only, so that an installed service is left alone.
transient=kelvoran-headless-test-$$.service
state=/var/lib/kelvoran-test-$$
sed -e "s|^ExecStart=[^ ]*|ExecStart=$(realpath "$build/ui/kelvoran")|" \
  -e "s|/var/lib/kelvoran|$state|" -e "s|^StateDirectory=.*|StateDirectory=${state#/var/lib/}|" \
  "$unit" >"/run/systemd/system/$transient"
install -d -o "$user" -g "$user" -m 0750 "$state"
printf '[loopback]\nHost=127.0.0.1\nDelay=1\nTimeout=1\nSuccessPeriod=0\n' >"$state/KELVORAN.INI"
systemctl daemon-reload
systemctl start "$transient"
sleep 4
systemctl is-active --quiet "$transient" || fail "the unit is not running: $(systemctl status "$transient")"
journal() { journalctl -q -o cat -u "$transient" 2>/dev/null; }
systemctl reload "$transient"
sleep 1
journal | grep -q ' 127\.0\.0\.1: WARNING -> OK$' || fail "127.0.0.1 not OK: $(journal)"
journal | grep -q 'Host list read again' || fail "no reload: $(journal)"
systemctl stop "$transient"
[[ "$(systemctl show -P Result "$transient")" == success ]] || fail "the unit did not stop cleanly"
rm -rf "$state"
echo PASS
