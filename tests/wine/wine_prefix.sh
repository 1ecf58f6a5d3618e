#!/usr/bin/env bash
# The Wine prefix of the Windows tests.
#   wine_prefix.sh setup WINE64 PREFIX   create it once (headless), map COM9 to /dev/ptmx
#   wine_prefix.sh stop WINE64 PREFIX    stop its wineserver
set -euo pipefail
action=$1 wine=$2 prefix=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

case $action in
  setup)
    if [ ! -f "$prefix/system.reg" ]; then
      echo "creating the Wine prefix $prefix"
      "$wine" wineboot -i >/dev/null 2>&1
    fi
    # The port table is read when Wine starts: stop the server after the change.
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM9 /d /dev/ptmx /f >/dev/null
    "$wineserver" -k || true
    "$wineserver" -w
    echo "Wine prefix ready: $prefix (COM9 = /dev/ptmx)"
    ;;
  stop)
    "$wineserver" -k || true
    "$wineserver" -w
    ;;
  *)
    echo "usage: $0 setup|stop WINE64 PREFIX" >&2
    exit 2
    ;;
esac
