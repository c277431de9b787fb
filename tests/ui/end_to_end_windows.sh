#!/usr/bin/env bash
# The Windows program, end to end under Wine: kelvoran.exe on the X server of
# with-xvfb under openbox, with a KELVORAN.INI of two hosts: 127.0.0.1, which
# answers, and an address whose echoes vanish (FailPeriod 0) with a popup
# destination, so that a popup is due when it enters ERROR. Wine sends the
# echoes from its own service processes, so the whole Wine session (a prefix
# of the test's own) runs inside a network namespace made here, where the
# dropped address leads into a link that loses every packet. One instance
# adds and deletes a host, shows what its list and its history graph look
# like on screen, exports the host list and is closed by the window manager
# as by its close box, one by the end of the session (wineboot --end-session) while the
# start-up About box is still open; both must exit with status 0, report
# their rows through KELVORAN_ROW_REPORT and leave the placement as REG_DWORD
# values in the registry.
#
#   with-xvfb end_to_end_windows.sh KELVORAN.EXE
#
# Needs root for the namespace; exits 77 (skipped) otherwise.
set -euo pipefail
program=${1:?usage: end_to_end_windows.sh KELVORAN.EXE}
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root to build a network namespace"
  exit 77
fi
ns=kvw-$$
dropped=198.18.30.2
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/wine WINEDEBUG=-all
# Wine links the user's folders (Documents, where a save dialog starts) to
# the home folder: one of the test's own keeps its files out of the real one.
export HOME=$scratch/home
mkdir -p "$HOME"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
in_ns() { ip netns exec "$ns" "$@"; }

ip netns add "$ns"
ip -n "$ns" link set lo up
# The dropped address sits behind a veth pair whose far end takes no frame:
# its link address is not the one the near end sends to.
ip -n "$ns" link add dr0 type veth peer name dr1
ip -n "$ns" addr add 198.18.30.1/24 dev dr0
ip -n "$ns" link set dr0 up
ip -n "$ns" link set dr1 up
ip -n "$ns" neigh add "$dropped" lladdr 02:00:00:00:00:02 dev dr0 nud permanent

# As scripts/test-windows: the server first, then wineboot's first start.
mkdir -p "$WINEPREFIX"
in_ns wineserver -p </dev/null >/dev/null 2>&1
in_ns env WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i </dev/null >/dev/null 2>&1
openbox --sm-disable </dev/null >/dev/null 2>&1 &
pids+=($!)
disown  # killed at the end without a word from the shell

# find_window TITLE_REGEX: the first shown window of that title, waiting up to
# 60 s: a fresh Wine prefix on a busy machine takes most of 30 s to show the
# first window. Searches are repeated: one that meets a window just going away
# fails.
find_window() {
  local found
  for _ in $(seq 600); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    [[ -n "$found" ]] && { echo "$found"; return 0; }
    sleep 0.1
  done
  fail "no window '$1'"
}

# start NAME [N...]: runs the program in $scratch/NAME, which holds its
# KELVORAN.INI and row report; sets $started. Each N adds the host 127.0.0.N,
# probed once an hour: its row keeps its looks once probed, and nothing but a
# change of the list paints it again.
start() {
  local dir=$scratch/$1
  mkdir -p "$dir"
  printf '[local]\r\nHost=127.0.0.1\r\nDelay=1\r\nTimeout=1\r\nSuccessPeriod=0\r\n' >"$dir/KELVORAN.INI"
  printf '[dropped]\r\nHost=%s\r\nDelay=1\r\nTimeout=1\r\nFailPeriod=0\r\n' "$dropped" \
    >>"$dir/KELVORAN.INI"
  printf 'PopupDestination=ops\r\nPopupMessage=dropped is down\r\n' >>"$dir/KELVORAN.INI"
  local n
  for n in "${@:2}"; do
    printf '[l%s]\r\nHost=127.0.0.%s\r\nDelay=3600\r\n' "$n" "$n" >>"$dir/KELVORAN.INI"
  done
  (cd "$dir" && KELVORAN_ROW_REPORT="$dir/rows" exec ip netns exec "$ns" wine "$program" \
    </dev/null >"$dir/output" 2>&1) &
  started=$!
  pids+=("$started")
  find_window '^About Kelvoran$' >/dev/null
  # Long enough for the dropped host's ERROR and a time-out after it: the
  # popup sent on entering ERROR fails under Wine (its messenger counts as
  # missing, WTSSendMessage is a stub), and its failure is the row's error
  # until the next probe.
  sleep 8
}

# expect_exit PID NAME: the program ends within 20 s with status 0.
expect_exit() {
  local status=0
  timeout 20 tail --pid="$1" -f /dev/null || fail "$2: kelvoran.exe did not close"
  wait "$1" || status=$?
  [[ "$status" -eq 0 ]] || fail "$2: exit status $status; $(cat "$scratch/$2/output")"
}

expect_rows() {
  local rows=$scratch/$1/rows.txt line
  [[ -s "$scratch/$1/rows" ]] || fail "$1: no row report"
  # A text file on Windows: CRLF line ends.
  tr -d '\r' <"$scratch/$1/rows" >"$rows"
  # Status numbers: 0 OK, 2 ERROR. Cells: host, description, ..., error last.
  line=$(grep -P "^0\\t127\\.0\\.0\\.1\\t" "$rows") || fail "$1: 127.0.0.1 not OK: $(cat "$rows")"
  [[ -z "$(cut -f10 <<<"$line")" ]] || fail "$1: 127.0.0.1 has an error: $line"
  line=$(grep -P "^2\\t$dropped\\t" "$rows") || fail "$1: $dropped not in ERROR: $(cat "$rows")"
  [[ "$(cut -f10 <<<"$line")" == "Request timed out." ]] ||
    fail "$1: $dropped: '$(cut -f10 <<<"$line")' in $(cat "$rows")"
}

expect_placement() {
  local key='HKCU\Software\Brindlecot\Kelvoran by Brindlecot\MainWnd' name
  for name in showCmd rcNormalPositionLeft rcNormalPositionRight rcNormalPositionTop \
    rcNormalPositionBottom flags; do
    wine reg query "$key" /v "$name" 2>/dev/null | grep -q "$name *REG_DWORD" ||
      fail "$1: no REG_DWORD $name under $key"
  done
}

# Host > Export..., the proposed name taken as it is: hosts.csv, not the
# save dialog's hosts.csv.txt, in UTF-8 after the byte-order mark and with
# CRLF line ends, as Windows' spreadsheet programs read it. The dialog starts
# in Documents, which is the test's home folder.
expect_export() {
  local file=
  xdotool windowactivate --sync "$(find_window '^Kelvoran by Brindlecot')" key --clearmodifiers alt+h p
  xdotool windowactivate --sync "$(find_window '^Export hosts$')" key --clearmodifiers Return
  for _ in $(seq 100); do
    file=$(find "$HOME" -name 'hosts.csv*' ! -name '*.tmp' -print -quit)
    [[ -n "$file" ]] && break
    sleep 0.1
  done
  [[ "$(basename "$file")" == hosts.csv ]] || fail "export saved as '${file:-nothing}'"
  [[ "$(head -c 3 "$file" | od -An -tx1 | tr -d ' ')" == efbbbf ]] ||
    fail "export has no byte-order mark: $(od -c "$file" | head -n 3)"
  grep -q $'^127\\.0\\.0\\.1\r$' "$file" ||
    fail "export lacks a CRLF line of 127.0.0.1: $(od -c "$file")"
}

# Places in the main window as Wine lays it out: the list's header, the
# first row's middle, the height of a row, and the host names' cells with
# their icons left out, in pixels from the window's top left corner.
header_y=53 first_row_y=71 row_height=17 names=125x102+20+62
click_main() { xdotool mousemove --window "$main" "$1" "$2" click 1; }

# expect_rows_painted WHAT: the host names on screen after WHAT are those the
# list shows once it paints every row again, which a click on the
# Description header makes it do: no host has one, so the order stays.
expect_rows_painted() {
  local before=$scratch/$1-before.png after=$scratch/$1-after.png differ
  sleep 2
  import -window "$main" -crop "$names" +repage "$before"
  click_main 220 "$header_y"
  sleep 2
  import -window "$main" -crop "$names" +repage "$after"
  differ=$(compare -metric AE "$before" "$after" null: 2>&1) || true
  [[ "$differ" == 0 ]] || fail "after $1 the list showed other hosts than it holds ($differ pixels)"
}

# Rows added in the middle and deleted: Windows' list view repaints only the
# rows a change of count adds or takes away, the program the rest.
expect_list_changes_painted() {
  xdotool windowactivate --sync "$main" key --clearmodifiers ctrl+n
  xdotool windowactivate --sync "$(find_window '^Ping data$')" type --delay 20 127.0.0.2
  xdotool key --clearmodifiers Return
  expect_rows_painted Add
  click_main 60 $((first_row_y + 2 * row_height))
  xdotool key --clearmodifiers Delete
  expect_rows_painted Delete
}

# The history graph of 127.0.0.1 has its scale's labels left of the plot.
expect_graph_labels() {
  local history labels
  click_main 60 "$first_row_y"
  xdotool key --clearmodifiers ctrl+h
  history=$(find_window '^History of 127\.0\.0\.1$')
  sleep 1
  labels=$(import -window "$history" png:- |
    convert png:- -crop 55x270+10+42 +repage -colorspace gray -threshold 50% -format '%[fx:mean]' info:)
  xdotool windowactivate --sync "$history" key --clearmodifiers alt+F4
  [[ "$labels" != 1 ]] || fail "the history graph has no labels on its scale"
}

# The close box, through the window manager, once the About box has gone.
start closed 3 4 5
# The start-up About box ends by itself after 10 s.
for _ in $(seq 150); do
  [[ -z "$(xdotool search --onlyvisible --name '^About Kelvoran$' 2>/dev/null)" ]] && break
  sleep 0.1
done
main=$(find_window '^Kelvoran by Brindlecot')
expect_list_changes_painted
expect_graph_labels
expect_export
xdotool windowactivate --sync "$(find_window '^Kelvoran by Brindlecot')" key --clearmodifiers alt+F4
expect_exit "$started" closed
expect_rows closed
hosts=$(cut -f2 "$scratch/closed/rows.txt" | paste -sd ' ')
[[ "$hosts" == "127.0.0.1 127.0.0.2 127.0.0.4 127.0.0.5 $dropped" ]] || fail "closed: rows $hosts"
expect_placement closed
wine reg delete 'HKCU\Software\Brindlecot' /f >/dev/null 2>&1

# The end of the session, under the modal About box.
start session
in_ns wineboot --end-session </dev/null >/dev/null 2>&1
expect_exit "$started" session
expect_rows session
expect_placement session
echo "PASS"
