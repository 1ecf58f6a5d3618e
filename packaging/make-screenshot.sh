#!/usr/bin/env bash
# Makes docs/kavrel-main-window.png, the screenshot of the AppStream metainfo:
# the main window of a built Kavrel polling a simulated TR5, on a virtual X
# display. Needs xvfb, x11-apps (xwd), x11-utils (xwininfo) and netpbm; not part of the test run.
#
# Usage: packaging/make-screenshot.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$(cd "${1:-build}" && pwd)
SECONDS_OF_VALUES=${SECONDS_OF_VALUES:-20}

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1366x934x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xwd -root -silent >/dev/null 2>&1 && break; sleep 0.1; done

cd "$work"
# A sleeping feeder keeps the simulator's standard input open.
sleep 3600 | "$BUILD/sim/kavrel-sim" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e COM1 ] && break; sleep 0.1; done
printf 'COM=0\r\nBaud=6\r\nMode=0\r\nType=0\r\nMeterAdr=1\r\nMeterType=80\r\nMeterName=Feeder 3\r\nMeterDsc=TR5\r\n' >Kavrel.INI

"$BUILD/program/kavrel" >/dev/null 2>&1 &
pids+=($!)
sleep "$SECONDS_OF_VALUES"
mkdir -p "$ROOT/docs"
# The main window's title carries the active view's ("Kavrel - [Table]").
window=$(xwininfo -root -tree | awk '/ "Kavrel/ {print $1; exit}')
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng -compression 9 >"$ROOT/docs/kavrel-main-window.png"
file "$ROOT/docs/kavrel-main-window.png"
