#!/usr/bin/env bash
# What the Windows build ships, read back from the built files: every context
# number of the contents file opens, through the compiled help book's own map
# (#IVB into #STRINGS), the page the contents file gives it, and that page is
# in the book; and the build folder's absolute path is in none of the help
# book, the program and the installer, nor in the files the installer carries.
#
#   windows_shipped_files.sh BUILD_DIR CONTENTS.HHC KELVORAN.CHM PROGRAM.EXE INSTALLER.EXE
set -euo pipefail
build=$(realpath "$1")
contents=$2
chm=$3
installer=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

extract_chmLib "$chm" "$scratch/chm" >/dev/null
[[ -s "$scratch/chm/#IVB" && -s "$scratch/chm/#STRINGS" ]] || {
  echo "FAIL: $chm has no context map" >&2
  exit 1
}

# #IVB: the byte count of what follows, then (context number, offset into
# #STRINGS of the page's name) pairs, all little-endian 32-bit.
declare -A mapped
read -r -a words <<<"$(od -An -v -tu4 --endian=little "$scratch/chm/#IVB" | tr -s ' \n' ' ')"
for ((i = 1; i + 1 < ${#words[@]}; i += 2)); do
  mapped[${words[i]}]=$(tail -c +"$((words[i + 1] + 1))" "$scratch/chm/#STRINGS" | tr '\0' '\n' | head -n 1)
done

# The contents file's entries with a context number, one a line.
expected=0
while read -r id page; do
  expected=$((expected + 1))
  if [[ -z ${mapped[$id]+set} ]]; then
    fail "context $id is not in the book's map"
    continue
  fi
  # The viewer resolves a mapped name inside the book, from its root.
  name=${mapped[$id]#/}
  if [[ $name != "$page" ]]; then
    fail "context $id opens '${mapped[$id]}', not $page"
  elif [[ ! -f "$scratch/chm/$name" ]]; then
    fail "context $id opens $name, which the book lacks"
  fi
done < <(grep -o '<object type="text/sitemap">.*</object>' "$contents" |
  sed -n 's/.*name="Local" value="\([^"]*\)".*name="ID" value="\([0-9]*\)".*/\2 \1/p')
((expected > 0)) || fail "no context numbers read from $contents"
((${#mapped[@]} == expected)) || fail "the book maps ${#mapped[@]} contexts, the contents file $expected"

# A help book's names are compressed: each book is unpacked to be searched.
7z x -o"$scratch/installer" "$installer" >/dev/null
n=0
while IFS= read -r -d '' book; do
  n=$((n + 1))
  extract_chmLib "$book" "$scratch/carried-$n" >/dev/null
done < <(find "$scratch/installer" -iname '*.chm' -print0)
((n > 0)) || fail "the installer carries no help book"
[[ -s "$scratch/installer/kelvoran.exe" ]] || fail "the installer carries no kelvoran.exe"
for file in "$chm" "$installer"; do
  grep -qaF "$build" "$file" && fail "$file holds the build folder's path"
done
leaks=$(grep -rlaF "$build" "$scratch" || true)
[[ -z $leaks ]] || fail "the build folder's path is in: ${leaks//$scratch\//}"

((failures == 0)) || exit 1
echo "PASS: $expected contexts"
