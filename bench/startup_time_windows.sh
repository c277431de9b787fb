#!/usr/bin/env bash
# bench/startup_time.sh for the Windows program under Wine: the time from
# starting kelvoran.exe with a 1,000-host KELVORAN.INI until its main window
# is mapped, the median of several runs. The Wine session (a prefix of its
# own) is started on this X server first and stays up from run to run, so the
# times are warm ones: a start on a desktop that is already running. The CPU
# time shown is the Wine loader's process, the program itself.
#
#   tests/ui/with-xvfb bench/startup_time_windows.sh build-windows/ui/kelvoran.exe [RUNS] [HOSTS]
set -euo pipefail
program=$(realpath "${1:?usage: startup_time_windows.sh KELVORAN.EXE [RUNS] [HOSTS]}")
here=$(cd "$(dirname "$0")" && pwd)
wine_scratch=$(mktemp -d)
export WINEPREFIX=$wine_scratch/wine WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true; rm -rf "$wine_scratch"' EXIT
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i </dev/null >/dev/null 2>&1

# The wine command execs the loader, which keeps the process id the windows
# are found by.
printf '#!/bin/sh\nexec wine "%s"\n' "$program" >"$wine_scratch/kelvoran"
chmod +x "$wine_scratch/kelvoran"
"$here/startup_time.sh" "$wine_scratch/kelvoran" "${@:2}"
