#!/usr/bin/env bash
# The serial ports of the GUI tests under Wine: COM1-4 of the program, each
# joined to COM11-14 where the simulator of the same test program answers
# (com_pairs.py keeps the pairs on the Linux side).
#   wine_gui_ports.sh start WINE64 PREFIX   start the pairs, map them in the prefix
#   wine_gui_ports.sh stop WINE64 PREFIX    stop them and the prefix's wineserver
set -euo pipefail
action=$1 wine=$2 prefix=$3
export WINEPREFIX=$prefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
here=$(cd "$(dirname "$0")" && pwd)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
state=$prefix/com_pairs.state
pidfile=$prefix/com_pairs.pid
PAIRS=4
LIFETIME=${KAVREL_COM_PAIRS_LIFETIME:-1800}

stop_pairs() {
  if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
  rm -f "$state"
}

case $action in
  start)
    stop_pairs
    mkdir -p "$prefix"
    # Detached from this script, which ctest waits for; it ends by itself
    # after LIFETIME seconds should the stop never come.
    setsid python3 "$here/com_pairs.py" "$state" "$PAIRS" "$LIFETIME" </dev/null >"$prefix/com_pairs.log" 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 100); do [ -s "$state" ] && break; sleep 0.1; done
    [ -s "$state" ] || { echo "com_pairs.py made no ports:"; cat "$prefix/com_pairs.log"; exit 1; }
    # The port table is read when the wineserver starts.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w
    while read -r name device; do
      "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$name" /d "$device" /f >/dev/null
      echo "$name = $device"
    done <"$state"
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w
    ;;
  stop)
    stop_pairs
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w
    ;;
  *)
    echo "usage: $0 start|stop WINE64 PREFIX" >&2
    exit 2
    ;;
esac
