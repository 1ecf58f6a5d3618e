#!/usr/bin/env bash
# A picture of kavrel.exe under Wine on a virtual X display, polling the Linux
# simulator behind Wine's COM1: the README's "Building on Windows" shows it.
#   scripts/wine-screenshot.sh KAVREL.EXE KAVREL-SIM OUT.png [SECONDS]
# Needs Xvfb, wine64, xwd (x11-apps) and ImageMagick's convert.
set -euo pipefail
exe=$(readlink -f "$1") sim=$(readlink -f "$2") out=$3 wait=${4:-20}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrel-shot-XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=:$((90 + RANDOM % 9))
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$wineserver" -k >/dev/null 2>&1 || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
"$sim" --mode 0 --link "$work/COM1" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -L "$work/COM1" ] && break; sleep 0.1; done
DISPLAY=$display "$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$(readlink -f "$work/COM1")" /f >/dev/null
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w

mkdir -p "$work/run"
printf 'COM=0\r\nBaud=6\r\nMode=0\r\nType=0\r\nMeterAdr=1\r\nMeterType=80\r\n' >"$work/run/Kavrel.INI"
(cd "$work/run" && DISPLAY=$display exec "$wine" "$exe") >/dev/null 2>&1 &
pids+=($!)
sleep "$wait"
DISPLAY=$display xwd -root -silent | /usr/bin/convert xwd:- "$out"
echo "$out"
