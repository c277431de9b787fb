#!/usr/bin/env bash
# The Windows installer under Wine, as a user meets it: installed silently
# into a fresh Wine prefix; its files, Start-menu entry and uninstall entry
# are where Windows looks for them; the installed program starts in the
# user's documents folder, where the entry starts it, and closes through the
# window manager; the uninstaller then removes all the installer put down and
# the window placement, and leaves the user's host list alone. Installed
# again through its pages, the Finish page starts the program where the
# entry does. Neither install registers the service, which is chosen
# separately; chosen (/SERVICE) with a folder of its own whose name has a
# blank (/SERVICEDIR=), the service runs the monitor without a window in that
# folder, is started and stopped through the service control manager, and the
# uninstaller removes it but not its host list.
#
#   with-xvfb windows_installer.sh INSTALLER.EXE
set -euo pipefail
installer=$(realpath "${1:?usage: windows_installer.sh INSTALLER.EXE}")
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/wine WINEDEBUG=-all
# No desktop menu files written into the user's home for the entry.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# Wine links the user's folders (Documents, where the program starts) to the
# home folder: one of the test's own keeps its host list out of the real one.
export HOME=$scratch/home
mkdir -p "$HOME"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# wait_for CONDITION...: up to 30 s for the command to succeed.
wait_for() {
  for _ in $(seq 300); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
shown() { [[ -n "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ]]; }

mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1
openbox --sm-disable </dev/null >/dev/null 2>&1 &
pids+=($!)
disown

# unix_path WINDOWS_FOLDER_VARIABLE: where that folder of the Wine user is.
unix_path() { winepath -u "$(wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r')"; }
programs=$(unix_path LOCALAPPDATA)/Programs/Kelvoran
documents=$(unix_path USERPROFILE)/Documents
entry="$(unix_path APPDATA)/Microsoft/Windows/Start Menu/Programs/Kelvoran by Brindlecot.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvoran'
profile_key='HKCU\Software\Brindlecot\Kelvoran by Brindlecot'
has_key() { wine reg query "$1" </dev/null >/dev/null 2>&1; }
service_key='HKLM\System\CurrentControlSet\Services\Kelvoran'
service_program=$(unix_path ProgramFiles)/Kelvoran
no_service() {
  ! has_key "$service_key" || fail "$1: the service is registered"
  [[ ! -e "$service_program" ]] || fail "$1: $service_program exists"
}

# Silent, and the installer returns only once it is done.
wine "$installer" /S </dev/null >/dev/null 2>&1 || fail "installer exit status $?"
for file in kelvoran.exe KELVORAN.CHM uninstall.exe; do
  [[ -s "$programs/$file" ]] || fail "no $file in $programs"
done
[[ -f "$entry" ]] || fail "no Start-menu entry"
no_service "installed silently without /SERVICE"
# A shortcut holds its target's full path in 8-bit text, its working folder
# in UTF-16.
grep -aqF 'Programs\Kelvoran\kelvoran.exe' "$entry" || fail "entry's target"
strings -e l "$entry" | grep -q 'Documents$' || fail "entry's working folder"
wine reg query "$uninstall_key" /v UninstallString </dev/null 2>/dev/null | grep -q 'uninstall.exe' ||
  fail "no uninstall entry"

# The installed program with a host list in the documents folder.
mkdir -p "$documents"
printf '[local]\r\nHost=127.0.0.1\r\nDelay=5\r\n' >"$documents/KELVORAN.INI"
cp "$documents/KELVORAN.INI" "$scratch/host-list"
(cd "$documents" && exec wine "$programs/kelvoran.exe" </dev/null >"$scratch/output" 2>&1) &
program=$!
pids+=("$program")
# The start-up About box comes over the main window and ends by itself after
# 10 s; the close box works once it has gone.
wait_for shown '^About Kelvoran$' || fail "no About box: $(cat "$scratch/output")"
wait_for eval '! shown "^About Kelvoran$"' || fail "the About box stayed"
window=$(xdotool search --onlyvisible --name '^Kelvoran by Brindlecot' 2>/dev/null | head -n 1) || true
[[ -n "$window" ]] || fail "the installed program showed no main window: $(cat "$scratch/output")"
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
timeout 20 tail --pid="$program" -f /dev/null || fail "the installed program did not close"
wait "$program" || fail "the installed program's exit status $?"
has_key "$profile_key\\MainWnd" || fail "no window placement saved"

# The uninstaller copies itself away and returns at once: wait for its work.
wine "$programs/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "uninstaller exit status $?"
wait_for test ! -e "$programs" || fail "left in $programs: $(ls -A "$programs")"
[[ ! -e "$entry" ]] || fail "the Start-menu entry is left"
! has_key "$uninstall_key" || fail "the uninstall entry is left"
! has_key "$profile_key" || fail "the window placement is left"
cmp -s "$documents/KELVORAN.INI" "$scratch/host-list" || fail "the host list changed or went"

# Installed again as a person would, through its pages, leaving "Run" ticked
# on the Finish page: the program it starts reads the host list in the
# documents folder, and the uninstaller then leaves no program folder.
rows=$scratch/finish-rows
# The program writes its rows there on closing; a Windows path, as it starts
# on drive C:.
KELVORAN_ROW_REPORT=$(winepath -w "$rows") wine "$installer" </dev/null >/dev/null 2>&1 &
pids+=($!)
setup() { xdotool search --onlyvisible --name '^Kelvoran by Brindlecot Setup' 2>/dev/null | head -n 1; }
press_enter() {
  local window
  window=$(setup) && [[ -n $window ]] && xdotool windowactivate --sync "$window" key Return
}
# Enter takes the default button of each page (Install, Next once the files
# are in, Finish) until the installer has gone.
wait_for press_enter || fail "no installer window"
for _ in $(seq 30); do
  press_enter || break
  sleep 2
done
[[ -z $(setup) ]] || fail "the installer's pages did not finish"
[[ -s "$programs/uninstall.exe" ]] || fail "the installer's pages installed nothing"
wait_for shown '^About Kelvoran$' || fail "the Finish page started no program"
wait_for eval '! shown "^About Kelvoran$"' || fail "the About box stayed"
window=$(xdotool search --onlyvisible --name '^Kelvoran by Brindlecot' 2>/dev/null | head -n 1) || true
[[ -n "$window" ]] || fail "the program from the Finish page showed no main window"
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
wait_for test -e "$rows" || fail "the program from the Finish page wrote no rows"
grep -qP '^\d+\t127\.0\.0\.1\t' <(tr -d '\r' <"$rows") ||
  fail "the program from the Finish page did not read the documents folder's host list: $(cat "$rows")"
[[ ! -e "$programs/KELVORAN.INI" ]] || fail "a host list was written into the program folder"
no_service "installed through its pages with the defaults"
wine "$programs/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "uninstaller exit status $?"
wait_for test ! -e "$programs" || fail "left in $programs: $(ls -A "$programs")"

# The service chosen, in a folder of its own. (Wine runs everything as an
# administrator.) The folder as typed at a command prompt, unquoted: the
# option's value runs to the next option, blanks and all. (Wine would quote a
# single argument with a blank whole, which no installer reads.)
wine "$installer" /S /SERVICE '/SERVICEDIR=C:\Kelvoran' 'Data' </dev/null >/dev/null 2>&1 ||
  fail "installer /SERVICE exit status $?"
value() { wine reg query "$service_key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | awk -v v="$1" '$1 == v {$1 = $2 = ""; print substr($0, 3)}'; }
[[ "$(value ImagePath)" == '"C:\Program Files\Kelvoran\kelvoran.exe" --headless --service --service-folder "C:\Kelvoran Data"' ]] ||
  fail "the service runs '$(value ImagePath)'"
[[ "$(value Start)" == 0x3 ]] || fail "the service's start type is $(value Start), not by hand"
[[ "$(value ObjectName)" == 'NT AUTHORITY\LocalService' ]] || fail "the service runs as $(value ObjectName)"
# (Wine's sc takes "sc description" without doing it: the description that
# names the folder is seen on Windows only.)
service_folder=$(winepath -u 'C:\Kelvoran Data')
[[ -d "$service_folder" ]] || fail "no service folder $service_folder"
[[ ! -e "$(unix_path ProgramData)/Kelvoran" ]] || fail "the default service folder was made as well"
printf '[local]\r\nHost=127.0.0.1\r\nDelay=1\r\nTimeout=1\r\nSuccessPeriod=0\r\n' >"$service_folder/KELVORAN.INI"
log=$service_folder/KELVORAN.LOG
logged() { grep -q "$1" "$log" 2>/dev/null; }
sc() { wine sc "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# Wine's service manager may refuse to start a service registered while it
# ran (error 1055, the database locked) until it starts again, as after a
# restart of Windows.
if ! wine sc start Kelvoran </dev/null >/dev/null 2>&1; then
  echo "note: the service started only after Wine's service manager restarted"
  wineserver -k 2>/dev/null || true
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
  wine sc start Kelvoran </dev/null >/dev/null 2>&1 || fail "the service did not start"
fi
wait_for logged ' 127\.0\.0\.1: WARNING -> OK' || fail "the service did not probe: $(cat "$log" 2>&1)"
sc query Kelvoran | grep -q 'STATE *: 4 *RUNNING' || fail "the service is not running: $(sc query Kelvoran)"
sc stop Kelvoran >/dev/null
wait_for logged 'Closed, the history written out\.' || fail "the service did not close: $(cat "$log")"
wait_for eval 'sc query Kelvoran | grep -q "STATE *: 1 *STOPPED"' || fail "the service did not stop"
sc query Kelvoran | grep -q 'WIN32_EXIT_CODE *: 0 ' || fail "the service's exit: $(sc query Kelvoran)"
wine "$programs/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "uninstaller exit status $?"
wait_for test ! -e "$programs" || fail "left in $programs: $(ls -A "$programs")"
wait_for test ! -e "$service_program" || fail "left in $service_program: $(ls -A "$service_program")"
! has_key "$service_key" || fail "the service is left registered"
[[ -s "$service_folder/KELVORAN.INI" && -s "$service_folder/KELVORAN.HISTORY" ]] ||
  fail "the uninstaller removed the service's host list or history"
echo "PASS"
