#!/usr/bin/env bash
# The two systems' help books from the one set of pages: each keeps its own
# system's facts and none of the other's, and no marker is left in either.
#
#   help_books.sh HELP_DIR HELP_BOOK_SCRIPT
set -euo pipefail
help=${1:?usage: help_books.sh HELP_DIR HELP_BOOK_SCRIPT}
script=${2:?usage: help_books.sh HELP_DIR HELP_BOOK_SCRIPT}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for system in linux windows; do
  cmake -DSOURCE_DIR="$help" -DBOOK_DIR="$scratch/$system" -DBOOK="$scratch/$system.htb" \
    -DPLATFORM="$system" -P "$script" >/dev/null
done
# has BOOK TEXT / lacks BOOK TEXT: in any page, contents or index of the book.
has() { grep -rqF -- "$2" "$scratch/$1" || fail "the $1 book lacks '$2'"; }
lacks() { ! grep -rlF -- "$2" "$scratch/$1" || fail "the $1 book holds '$2' (files above)"; }
has linux "~/.config/Brindlecot"
has linux "ping_without_root.html"
has linux "destination does on Linux"
lacks linux "HKEY_CURRENT_USER"
lacks linux "destination does on Windows"
has windows "HKEY_CURRENT_USER"
has windows "destination does on Windows"
lacks windows "~/.config"
lacks windows "ping_without_root"
lacks windows "destination does on Linux"
# Only Linux has a signal that makes the program without a window read its
# host list again.
has linux "SIGHUP"
lacks windows "SIGHUP"
# Where an alert channel's secrets go and which sound it plays differ too.
has linux "alert-secrets"
has linux "dialog-warning"
lacks linux "Credential Manager"
lacks linux "Kelvoran/alert/"
has windows "Credential Manager"
has windows "Kelvoran/alert/"
lacks windows "alert-secrets"
lacks windows "dialog-warning"
[[ ! -e "$scratch/windows/ping_without_root.html" ]] || fail "the Windows book has the Linux-only page"
for system in linux windows; do
  lacks "$system" "<!--linux-->"
  lacks "$system" "<!--windows-->"
done
echo PASS
