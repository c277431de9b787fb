#!/usr/bin/env bash
# The real program's status icon in a real notification area (trayer, an
# XEmbed system tray) under a window manager. The program runs in a network
# namespace of its own with two hosts: 127.0.0.1 answers, 10.9.9.9 has no
# route and goes to ERROR at once, until the test gives loopback that address.
# The icon shows red, then green; minimised with the option on, the window
# hides in the notification area and a click on the icon brings it back; once
# the notification area is gone, minimising leaves an ordinary minimised
# window. Nothing is printed throughout.
#
#   with-xvfb tray_status.sh KELVORAN
#
# Needs root for the namespace; exits 77 (skipped) otherwise.
set -euo pipefail
kelvoran=$(realpath "${1:?usage: tray_status.sh KELVORAN}")
if [[ $EUID -ne 0 ]]; then
  echo "SKIPPED: needs root for a network namespace"
  exit 77
fi
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [[ -s "$scratch/stderr" ]] && cat "$scratch/stderr" >&2
  exit 1
}

openbox --sm-disable 2>/dev/null &
pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 100 --height 24 \
  --transparent false --tint 0xcccccc 2>/dev/null &
tray=$!
pids+=("$tray")
sleep 1

mkdir -p "$scratch/Brindlecot"
cat >"$scratch/Brindlecot/Kelvoran by Brindlecot.conf" <<'CONF'
[MainWnd]
showCmd=1
[Options]
MinimiseToTray=1
CONF
cat >"$scratch/KELVORAN.INI" <<'INI'
[answering]
Host=127.0.0.1
Delay=1
Timeout=1
SuccessPeriod=0
[unrouted]
Host=10.9.9.9
Delay=1
Timeout=1
FailPeriod=0
SuccessPeriod=0
INI
(cd "$scratch" && XDG_CONFIG_HOME="$scratch" exec unshare --net sh -c \
  "ip link set lo up && exec '$kelvoran'" </dev/null 2>"$scratch/stderr") &
app=$!
pids+=("$app")
netns() { nsenter --target "$app" --net "$@"; }

main=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kelvoran by Brindlecot') ||
  fail "no main window"
main=$(head -n 1 <<<"$main")
timeout 20 xdotool search --sync --onlyvisible --name '^About Kelvoran$' >/dev/null ||
  fail "no About box"
xdotool key --clearmodifiers Escape

# The program's window embedded in the notification area's panel.
icon_window() {
  local panel
  panel=$(xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {print $1}')
  [[ -n "$panel" ]] && xwininfo -tree -id "$panel" | awk '/\("kelvoran" / {print $1}' | head -n 1
}
# How many of the icon's pixels are clearly red and clearly green: "RED GREEN".
icon_colours() {
  import -window "$1" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*srgb(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p' |
    awk '$1 > 150 && $2 < 110 && $3 < 110 {red++}
      $2 > 120 && $1 < 110 && $3 < 110 {green++}
      END {print red + 0, green + 0}'
}
# wait_for_colour red|green: the icon shows mostly that colour within 10 s.
wait_for_colour() {
  local colours red green
  for _ in $(seq 50); do
    colours=$(icon_colours "$icon")
    read -r red green <<<"$colours"
    if [[ $1 == red ]] && ((red > 20 && green == 0)); then return 0; fi
    if [[ $1 == green ]] && ((green > 20 && red == 0)); then return 0; fi
    sleep 0.2
  done
  fail "icon not $1: red and green pixels $colours"
}
# wm_state: Normal, Iconic or Withdrawn, as the window manager has the main
# window.
wm_state() {
  local state
  state=$(xprop -id "$main" WM_STATE 2>/dev/null | awk '/window state/ {print $3}')
  echo "${state:-Withdrawn}"
}
wait_for_state() {
  for _ in $(seq 50); do
    [[ "$(wm_state)" == "$1" ]] && return 0
    sleep 0.1
  done
  fail "main window $(wm_state), not $1"
}

icon=""
for _ in $(seq 50); do
  icon=$(icon_window) || true
  [[ -n "$icon" ]] && break
  sleep 0.2
done
[[ -n "$icon" ]] || fail "no icon in the notification area"
wait_for_colour red
netns ip address add 10.9.9.9/32 dev lo
wait_for_colour green

# Minimised with the option on: hidden in the notification area, then back.
xdotool windowminimize "$main"
wait_for_state Withdrawn
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
wait_for_state Normal
[[ "$(xdotool getactivewindow)" == "$main" ]] || fail "the main window is not the active one"

# No notification area any more: minimising leaves the window minimised.
kill "$tray"
wait "$tray" 2>/dev/null || true
xdotool windowminimize "$main"
wait_for_state Iconic
sleep 1
[[ "$(wm_state)" == Iconic ]] || fail "main window $(wm_state) without a notification area"

kill -TERM "$app"
timeout 20 tail --pid="$app" -f /dev/null || fail "kelvoran did not close after SIGTERM"
wait "$app" || fail "kelvoran exited with status $?"
[[ ! -s "$scratch/stderr" ]] || fail "printed on stderr: $(cat "$scratch/stderr")"
echo "PASS"
