#!/usr/bin/env bash
# kavrel.exe under Wine without a display: --version and --help answer on the
# pipe they are given and end (a message box would wait here for a click),
# and the help names the ports as Windows does; the window, started in its own
# folder, moves to the public Documents\Kavrel.
#   gui_program.sh WINE64 PREFIX KAVREL.EXE VERSION
set -uo pipefail
wine=$1 prefix=$2 exe=$3 version=$4
export WINEPREFIX=$prefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
failures=0

check() {
  local name=$1 text=$2 code=$3
  shift 3
  local ok=1
  [ "$code" = 0 ] || ok=0
  for want in "$@"; do
    case $want in
      !*) grep -qF -- "${want#!}" <<<"$text" && ok=0 ;;
      *) grep -qF -- "$want" <<<"$text" || ok=0 ;;
    esac
  done
  if [ $ok = 1 ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name (exit code $code)"
    sed 's/^/    /' <<<"$text"
    failures=$((failures + 1))
  fi
}

run() {
  out=$(timeout 60 "$wine" "$exe" "$@" 2>&1)
  code=$?
  out=$(tr -d '\r' <<<"$out")
}
run --version
check "--version" "$out" "$code" "kavrel $version"
run --help
check "--help" "$out" "$code" "Usage: kavrel" "--version" "COM<n>" "Kavrel.INI" "Documents\\Kavrel" "!/dev/"

# Started in its own folder, which holds no Kavrel.INI, the window works in the
# public Documents\Kavrel, made for it: seen as that folder appears.
documents=$prefix/drive_c/users/Public/Documents/Kavrel
rm -rf "$documents"
(cd "$(dirname "$exe")" && QT_QPA_PLATFORM=offscreen exec timeout 60 "$wine" "$exe" >/dev/null 2>&1) &
window=$!
for _ in $(seq 1 600); do
  [ -d "$documents" ] && break
  kill -0 $window 2>/dev/null || break
  sleep 0.1
done
kill $window 2>/dev/null
wait $window 2>/dev/null
if [ -d "$documents" ]; then
  echo "ok: started in its own folder"
else
  echo "FAILED: started in its own folder, $documents was not made"
  failures=$((failures + 1))
fi
[ $failures = 0 ]
