#!/usr/bin/env bash
# Makes the pictures of docs/: docs/kavrel-main-window.png and
# docs/guide-*.png, one for each window and dialog of the user guide
# (docs/guide.md), and the main window in Polish (docs/guide-polish.png).
# A built Kavrel polls a
# simulated TR5 for a while; kavrel-screenshots then opens every window and
# dialog in turn and saves what it shows. Runs on Qt's offscreen platform, so
# it needs no display; not part of the test run.
#
# Usage: packaging/make-screenshot.sh [BUILD_DIR]     (default: build)
#        SECONDS_OF_VALUES=N  seconds of polling before the first picture (20)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$(cd "${1:-build}" && pwd)
SECONDS_OF_VALUES=${SECONDS_OF_VALUES:-20}

echo "make-screenshot: building the simulator and kavrel-screenshots in $BUILD"
cmake --build "$BUILD" --target kavrel-sim kavrel-screenshots >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cd "$work"
# A sleeping feeder keeps the simulator's standard input open.
sleep 3600 | "$BUILD/sim/kavrel-sim" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e COM1 ] && break; sleep 0.1; done
printf 'COM=0\r\nBaud=6\r\nMode=0\r\nType=0\r\nMeterAdr=1\r\nMeterType=80\r\nMeterName=Feeder 3\r\nMeterDsc=TR5\r\n' >Kavrel.INI

mkdir -p "$ROOT/docs"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
echo "make-screenshot: polling the simulated meter for $SECONDS_OF_VALUES s, then the pictures"
"$BUILD/program/kavrel-screenshots" "$ROOT/docs" "$SECONDS_OF_VALUES" 2> >(grep -v '^QStandardPaths' >&2)
# The main window once more in Polish (docs/guide-polish.png): the language
# follows LANG when Kavrel.INI names none.
mkdir -p "$work/pl"
LANG=pl_PL.UTF-8 LC_ALL= LC_MESSAGES= LANGUAGE= "$BUILD/program/kavrel-screenshots" "$work/pl" 5 \
  2> >(grep -v '^QStandardPaths' >&2) >/dev/null
cp "$work/pl/kavrel-main-window.png" "$ROOT/docs/guide-polish.png"
du -ch "$ROOT"/docs/kavrel-main-window.png "$ROOT"/docs/guide-*.png | tail -1
