#!/usr/bin/env bash
# Installs a build into a scratch DESTDIR the way a package build does and
# checks that every file the desktop needs is in place, that the pieces refer
# to each other correctly (the service unit starts the installed program),
# and that nothing but the program's own files is
# installed (no tests, benchmarks, libraries or headers).
#
#   install_tree.sh BUILD_DIR VERSION
set -euo pipefail
build=${1:?usage: install_tree.sh BUILD_DIR VERSION}
version=${2:?usage: install_tree.sh BUILD_DIR VERSION}
id=example.brindlecot.kelvoran
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
usr=$dest/usr
share=$usr/share
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The program, runnable.
[[ -x "$usr/bin/kelvoran" && -f "$usr/bin/kelvoran" ]] || fail "no runnable usr/bin/kelvoran"
# The About box names the version the package carries.
grep -aq "Kelvoran $version" "$usr/bin/kelvoran" 2>/dev/null || fail "the program does not say 'Kelvoran $version'"

# The menu entry starts the installed program and shows the installed icon.
desktop=$share/applications/$id.desktop
if [[ -f "$desktop" ]]; then
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [[ -x "$usr/bin/${exec_line%% *}" ]] || fail "the menu entry runs '$exec_line', which is not installed"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
else
  fail "no menu entry $desktop"
  icon=kelvoran
fi

# The service unit starts the installed program.
unit=$usr/lib/systemd/system/kelvoran-headless.service
exec_start=$(sed -n 's/^ExecStart=//p' "$unit" 2>/dev/null) || true
[[ -x "$dest${exec_start%% *}" && "$exec_start" == /usr/bin/* ]] ||
  fail "the service unit runs '$exec_start', which is not installed"

# The icon: scalable, and a PNG of the stated size in each fixed-size folder.
hicolor=$share/icons/hicolor
grep -q '<svg' "$hicolor/scalable/apps/$icon.svg" 2>/dev/null || fail "no scalable $icon.svg"
for size in 16 22 24 32 48 64 128 256; do
  png=$hicolor/${size}x${size}/apps/$icon.png
  kind=$(file -b "$png" 2>/dev/null || true)
  [[ "$kind" == "PNG image data, $size x $size,"* ]] || fail "$png: '$kind', expected a ${size}x${size} PNG"
done

# The metainfo: valid against the installed tree (its desktop file is found),
# and of this version.
metainfo=$share/metainfo/$id.metainfo.xml
if report=$(appstreamcli validate-tree --no-net --strict --override=cid-maybe-not-rdns=pedantic \
  "$usr" 2>&1); then :; else
  echo "$report"
  fail "the installed tree does not validate"
fi
grep -q "<release version=\"$version\"" "$metainfo" 2>/dev/null ||
  fail "the metainfo has no release $version"

# The manual page, compressed, of this version.
man=$share/man/man1/kelvoran.1.gz
if gzip -t "$man" 2>/dev/null; then
  grep -q "^\.TH KELVORAN 1 .* \"Kelvoran $version\"" <<<"$(zcat "$man")" ||
    fail "the manual page is not of Kelvoran $version"
else
  fail "no compressed manual page $man"
fi
[[ -s "$share/doc/kelvoran/copyright" ]] || fail "no copyright notice"
# The many-machines examples, whole: the rules as Prometheus reads them, the
# dashboard as JSON.
examples=$share/doc/kelvoran/examples
promtool check rules "$examples/prometheus/kelvoran-rules.yml" >/dev/null 2>&1 ||
  fail "no valid $examples/prometheus/kelvoran-rules.yml"
[[ -s "$examples/prometheus/kelvoran-scrape.yml" ]] || fail "no scrape configuration example"
jq -e '.panels | length > 0' "$examples/grafana/kelvoran-dashboard.json" >/dev/null 2>&1 ||
  fail "no dashboard in $examples/grafana"
# F1 finds the book here when none lies beside the program.
# (The listing is read whole: grep -q stopping early would fail unzip with
# SIGPIPE, and pipefail with it.)
book=$(unzip -l "$share/kelvoran/help/kelvoran.htb" 2>/dev/null) || book=
grep -q ' kelvoran.hhp$' <<<"$book" || fail "no help book with its project file in $share/kelvoran/help"

# Nothing else: one program, data under share/ only, and the service's unit
# and user entry where systemd looks for them.
extra=$(cd "$dest" && find . -type f ! -path './usr/bin/kelvoran' ! -path './usr/share/*' \
  ! -path ./usr/lib/systemd/system/kelvoran-headless.service \
  ! -path ./usr/lib/sysusers.d/kelvoran.conf)
[[ -z "$extra" ]] || fail "files outside the program and its data: $extra"
strays=$(cd "$dest" && find . -type f \( -name '*.a' -o -name '*.so*' -o -name '*.h' \
  -o -name '*test*' -o -name '*bench*' -o -name '*.cmake' \))
[[ -z "$strays" ]] || fail "build artefacts installed: $strays"

[[ $failures -eq 0 ]] || exit 1
echo PASS
