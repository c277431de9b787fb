#!/usr/bin/env bash
# The package's maintainer script, rendered for a scratch file instead of the
# installed program: it grants cap_net_raw when it can, leaves the file alone
# when it cannot or when an administrator overrides it, makes the service's
# user with whichever tool there is, and never fails.
#
#   postinst_test.sh POSTINST_TEMPLATE
set -euo pipefail
template=${1:?usage: postinst_test.sh POSTINST_TEMPLATE}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
program=$scratch/kelvoran
conf=/usr/lib/sysusers.d/kelvoran.conf
sed -e "s|@KELVORAN_INSTALLED_BINARY@|$program|" -e "s|@KELVORAN_SYSUSERS_CONF@|$conf|" \
  "$template" >"$scratch/postinst"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# stub NAME EXIT_STATUS: a command in $scratch/bin that logs its call.
mkdir "$scratch/bin"
stub() {
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\nexit %s\n' "$1" "$scratch" "$2" >"$scratch/bin/$1"
  chmod +x "$scratch/bin/$1"
}

# run CASE ARGUMENT [PATH]: runs the script, which must exit 0; keeps stderr.
run() {
  local path=${3:-$scratch/bin}
  : >"$program"
  rm -f "$scratch/calls"
  if ! PATH=$path /bin/sh "$scratch/postinst" "$2" 2>"$scratch/stderr"; then
    fail "$1: the script failed, which would fail the installation"
  fi
}
calls() { cat "$scratch/calls" 2>/dev/null || true; }

run "no setcap" configure /nonexistent
grep -q "setcap is not installed" "$scratch/stderr" || fail "no setcap: no message"

stub setcap 1
run "setcap refused" configure
grep -q "left as it is" "$scratch/stderr" || fail "setcap refused: no message"
[[ "$(calls)" == "setcap cap_net_raw+ep $program" ]] || fail "setcap refused: called '$(calls)'"

stub dpkg-statoverride 0
run "statoverride" configure
[[ "$(calls)" == "dpkg-statoverride --list $program" ]] || fail "statoverride: called '$(calls)'"
rm "$scratch/bin/dpkg-statoverride"

# The service's user: systemd-sysusers where there is one, else adduser;
# neither failing fails the script. (setcap still refuses, as above.)
stub adduser 1
run "adduser" configure
grep -q "^adduser --system --group .*--home /var/lib/kelvoran .* kelvoran$" "$scratch/calls" ||
  fail "adduser: called '$(calls)'"
grep -q "adduser failed" "$scratch/stderr" || fail "adduser failed: no message"
stub systemd-sysusers 0
run "sysusers" configure
grep -qx "systemd-sysusers $conf" "$scratch/calls" || fail "sysusers: called '$(calls)'"
grep -q "^adduser" "$scratch/calls" && fail "sysusers: adduser called as well"
rm "$scratch/bin/adduser"
rm "$scratch/bin/systemd-sysusers"
run "no user tool" configure
grep -q "neither systemd-sysusers nor adduser" "$scratch/stderr" || fail "no user tool: no message"

run "not configure" abort-upgrade
[[ -z "$(calls)" ]] || fail "abort-upgrade: called '$(calls)'"

# The real setcap needs CAP_SETFCAP and extended attributes on the scratch
# file system; without them this case says so instead of passing.
# The user tools stay stubs: the machine gets no user from a test.
if [[ $EUID -eq 0 ]] && command -v setcap >/dev/null; then
  stub systemd-sysusers 0
  stub getent 2
  rm "$scratch/bin/setcap"
  run "real setcap" configure "$scratch/bin:$(dirname "$(command -v setcap)"):/usr/bin:/bin"
  getcap "$program" | grep -q 'cap_net_raw=ep' || fail "real setcap: $(getcap "$program")"
else
  echo "not run: granting the capability for real needs root and setcap"
fi

[[ $failures -eq 0 ]] || exit 1
echo PASS
