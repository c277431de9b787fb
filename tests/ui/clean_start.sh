#!/usr/bin/env bash
# The real program started as a user starts it, with a window manager: the
# main window opens where it was left, the start-up About box is centred on
# it, and nothing is printed, from the start to the close.
#
#   with-xvfb clean_start.sh KELVORAN
set -euo pipefail
kelvoran=${1:?usage: clean_start.sh KELVORAN}
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

openbox --sm-disable 2>/dev/null &
pids+=($!)
sleep 1

mkdir -p "$scratch/Brindlecot"
cat >"$scratch/Brindlecot/Kelvoran by Brindlecot.conf" <<'CONF'
[MainWnd]
showCmd=1
rcNormalPositionLeft=100
rcNormalPositionRight=800
rcNormalPositionTop=60
rcNormalPositionBottom=560
flags=0
CONF
(cd "$scratch" && XDG_CONFIG_HOME="$scratch" exec "$kelvoran" 2>"$scratch/stderr") &
app=$!
pids+=("$app")

# frame TITLE: "x y width height" of the window manager's frame around the
# window, as the X server has it.
frame() {
  local client parent
  client=$(xdotool search --sync --onlyvisible --name "$1" | head -n 1)
  parent=$(xwininfo -tree -id "$client" | awk '/Parent window id/ {print $4}')
  xwininfo -id "$parent" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

about=$(timeout 20 bash -c "$(declare -f frame); frame '^About Kelvoran$'") ||
  fail "no About box"
main=$(frame '^Kelvoran by Brindlecot')
[[ "$main" == "100 60 700 500" ]] || fail "main window at $main, not where it was left"
read -r ax ay aw ah <<<"$about"
read -r mx my mw mh <<<"$main"
dx=$((ax + aw / 2 - mx - mw / 2))
dy=$((ay + ah / 2 - my - mh / 2))
# Centred before the window manager frames it: its borders may shift it a little.
((dx * dx <= 100 && dy * dy <= 100)) || fail "About box at $about, off the main window's centre by $dx,$dy"

kill -TERM "$app"
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not close after SIGTERM"
wait "$app" || fail "kelvoran exited with status $?"
[[ ! -s "$scratch/stderr" ]] || fail "printed on stderr: $(cat "$scratch/stderr")"
echo "PASS"
