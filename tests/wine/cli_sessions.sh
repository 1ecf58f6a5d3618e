#!/usr/bin/env bash
# kavrel-cli.exe under Wine against the Linux simulator, in ASCII (mode 0) and
# RTU (mode 6): poll, read, write and read back, and the KX7 link whose RTS
# calls a pseudo-terminal refuses. Wine's COM1 is mapped to the simulator's
# pseudo-terminal in HKLM\Software\Wine\Ports; the wineserver is stopped
# before each session so the mapping is read afresh, and at the end.
#   cli_sessions.sh WINE64 PREFIX KAVREL-CLI.EXE KAVREL-SIM
set -uo pipefail
wine=$1 prefix=$2 cli=$3 sim=$4
export WINEPREFIX=$prefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

work=$(mktemp -d "${TMPDIR:-/tmp}/kavrel-wine-XXXXXX")
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=
  fi
}
cleanup() {
  stop_sim
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# run NAME EXPECTED-CODE PATTERN... -- ARGS: runs kavrel-cli.exe with ARGS in the
# session's folder, checks the exit code and that every PATTERN is in its output.
run() {
  local name=$1 want=$2
  shift 2
  local patterns=()
  while [ "$1" != "--" ]; do patterns+=("$1"); shift; done
  shift
  local out code
  out=$(cd "$work" && timeout 120 "$wine" "$cli" "$@" 2>&1)
  code=$?
  out=$(tr -d '\r' <<<"$out")
  local ok=1
  [ "$code" = "$want" ] || ok=0
  for p in "${patterns[@]}"; do
    grep -qF -- "$p" <<<"$out" || ok=0
  done
  if [ $ok -eq 1 ]; then
    echo "ok: $name"
  else
    fail "$name (kavrel-cli.exe $*: exit code $code, wanted $want)"
    echo "$out" | sed 's/^/    /'
  fi
}

for mode in 0 6; do
  echo "=== session in mode $mode"
  rm -f "$work/COM1"
  "$sim" --mode "$mode" --link "$work/COM1" --log </dev/null >"$work/sim-$mode.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$work/COM1" ] && break; sleep 0.1; done
  pty=$(readlink -f "$work/COM1" 2>/dev/null || true)
  if [ -z "$pty" ] || [ ! -e "$pty" ]; then
    fail "mode $mode: the simulator made no pseudo-terminal"
    cat "$work/sim-$mode.log"
    stop_sim
    continue
  fi
  # A new mapping for a new session: the server reads it when it starts.
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$pty" /f >/dev/null 2>&1 || fail "wine reg add COM1 = $pty"
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w

  # The port settings from Kavrel.INI, as the program on Windows keeps them.
  printf 'COM=0\r\nBaud=6\r\nMode=%s\r\nMeterAdr=1\r\nMeterType=80\r\n' "$mode" >"$work/Kavrel.INI"
  run "mode $mode poll" 0 "Connection to TR5_1" "U1" -- --timeout 3000 poll --cycles 2
  rm -f "$work/Kavrel.INI"
  run "mode $mode read" 0 "U1         L1 phase voltage" " V" -- --mode "$mode" --timeout 3000 read 1901
  run "mode $mode write" 0 "tr_I = 12 written" -- --mode "$mode" --timeout 3000 write 1 12
  run "mode $mode read back" 0 "tr_I" " 12" -- --mode "$mode" --timeout 3000 read 1
  run "mode $mode refused value" 4 "Out of range" -- --mode "$mode" --timeout 3000 write 1 20001
  # KX7 converter: the RTS calls fail on a pseudo-terminal, the exchange does not.
  run "mode $mode KX7 link" 0 "U1" -- --mode "$mode" --timeout 3000 --link kx7 read 1901
  stop_sim
done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) of kavrel-cli.exe under Wine failed"
  exit 1
fi
echo "kavrel-cli.exe under Wine: every check passed"
