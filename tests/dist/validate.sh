#!/usr/bin/env bash
# Checks one desktop-integration file with the tool the desktop itself relies
# on, and fails on any complaint, however mild:
#
#   validate.sh desktop  FILE.desktop
#   validate.sh metainfo FILE.metainfo.xml
#   validate.sh manpage  FILE.1
set -euo pipefail
kind=${1:?usage: validate.sh desktop|metainfo|manpage FILE}
file=${2:?usage: validate.sh desktop|metainfo|manpage FILE}

# silent COMMAND...: the command must succeed and print nothing at all.
silent() {
  local output
  output=$("$@" 2>&1) || { echo "$output"; echo "FAIL: $* exited non-zero" >&2; exit 1; }
  [[ -z "$output" ]] || { echo "$output"; echo "FAIL: $* complained" >&2; exit 1; }
}

case $kind in
  desktop)
    # Errors make it exit non-zero; warnings and hints are only printed.
    silent desktop-file-validate "$file"
    ;;
  metainfo)
    # The id's domain ends in .example, which is no public suffix: the
    # validator's only hint, and the one thing not asked of it.
    report=$(appstreamcli validate --no-net --pedantic --strict \
      --override=cid-maybe-not-rdns=pedantic "$file" 2>&1) ||
      { echo "$report"; echo "FAIL: the metainfo does not validate" >&2; exit 1; }
    echo "$report"
    if grep -E '^\s*[EWIP]: ' <<<"$report" | grep -v 'cid-maybe-not-rdns'; then
      echo "FAIL: the validator has remarks" >&2
      exit 1
    fi
    ;;
  manpage)
    # groff and man report undefined macros and bad escapes on stderr but
    # still exit 0.
    silent groff -ww -z -man "$file"
    # shellcheck disable=SC2016 # $1 is the inner shell's argument
    silent sh -c 'LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" >/dev/null' man "$file"
    # lexgrog reads the NAME section the way mandb does for whatis and apropos.
    lexgrog "$file" | grep -q ': "kelvoran - ' || { echo "FAIL: no NAME entry for kelvoran" >&2; exit 1; }
    ;;
  *)
    echo "unknown kind: $kind" >&2
    exit 2
    ;;
esac
echo PASS
