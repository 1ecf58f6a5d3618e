#!/usr/bin/env bash
# Installs what is needed, builds Kavrel and its simulator, and starts Kavrel
# against simulated meters: kavrel-sim plays a TR5 at address 1 and a VR5 at
# address 2 on a pseudo-terminal linked as COM1 in demo/, and Kavrel, started
# in demo/, polls the TR5 there.
# Closing Kavrel stops the simulator.
#
# demo/Kavrel.INI is written afresh on every run so that it matches the
# simulator (COM1, 19200 bit/s, ASCII 8N1, RS-485 card); settings saved in the
# demo are therefore not kept from one run to the next.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

bash scripts/install-deps.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'EOF'
demo.sh: there is no display to show Kavrel's window on.
Run it under a virtual display instead (package xvfb, installed by scripts/install-deps.sh):

    xvfb-run -a bash scripts/demo.sh

or start it from a desktop session. To see the window of a virtual display, take a
screenshot of it, e.g. with "import -window root shot.png" (package imagemagick)
run with the same DISPLAY, or use x11vnc.
EOF
  exit 2
fi

# The g++ build in build/, the same configuration scripts/test.sh makes there;
# only the two programs the demo starts are built (the tests and benchmarks are
# scripts/test.sh's). What the build prints goes to a log, shown when it fails.
BUILD=${KAVREL_BUILD_DIR:-$ROOT/build}
mkdir -p "$BUILD"
LOG="$BUILD/demo-build.log"
: >"$LOG"
# A configured build folder reconfigures itself when a CMakeLists.txt changed.
if [ ! -f "$BUILD/build.ninja" ]; then
  echo "demo.sh: configuring the build in $BUILD"
  if ! cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >"$LOG" 2>&1; then
    cat "$LOG" >&2
    echo "demo.sh: the configuration failed (above; also in $LOG)" >&2
    exit 1
  fi
fi

# Prints ninja's "[done/total]" as a percentage: in place on a terminal, else
# every tenth.
progress() {
  local line step total shown=-1 percent
  while IFS= read -r line; do
    printf '%s\n' "$line" >>"$LOG"
    [[ "$line" =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
    step=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
    percent=$((100 * step / total))
    if [ -t 1 ]; then
      printf '\rdemo.sh: building kavrel and kavrel-sim: %3d%% (%d of %d steps)' "$percent" "$step" "$total"
      [ "$step" -eq "$total" ] && printf '\n'
    elif [ $((percent / 10)) -ne "$shown" ]; then
      shown=$((percent / 10))
      echo "demo.sh: building kavrel and kavrel-sim: $percent% ($step of $total steps)"
    fi
  done
  return 0
}
echo "demo.sh: building kavrel and kavrel-sim (the first build takes some minutes on two cores;"
echo "         later runs only rebuild what changed)"
if ! cmake --build "$BUILD" -j2 --target kavrel kavrel-sim 2>&1 | progress; then
  [ -t 1 ] && printf '\n'
  grep -v '^\[[0-9]*/[0-9]*\] ' "$LOG" | tail -n 40 >&2
  echo "demo.sh: the build failed (above; the whole log is $LOG)" >&2
  exit 1
fi

DEMO="$ROOT/demo"
mkdir -p "$DEMO"
cd "$DEMO"
printf '%s\r\n' \
  "COM=0" "Baud=6" "Mode=0" "Type=0" \
  "MeterAdr=1" "MeterType=80" "MeterName=TR5_1" "MeterDsc=Simulated TR5" \
  "Dev0=TR5,1,Simulated TR5," "Dev1=VR5,2,Simulated VR5," >Kavrel.INI

# The simulator serves until it is signalled; its output goes to a log file.
"$BUILD/sim/kavrel-sim" --meter TR5:1 --meter VR5:2 --mode 0 --baud 19200 \
  --link COM1 --force </dev/null >kavrel-sim.log 2>&1 &
SIM=$!
stop_sim() {
  if kill -0 "$SIM" 2>/dev/null; then
    kill "$SIM" 2>/dev/null || true
    wait "$SIM" 2>/dev/null || true
  fi
}
trap stop_sim EXIT

# Wait until the simulator has made its COM1 link.
for _ in $(seq 1 50); do
  [ -L COM1 ] && break
  if ! kill -0 "$SIM" 2>/dev/null; then
    echo "demo.sh: kavrel-sim did not start:" >&2
    cat kavrel-sim.log >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -L COM1 ]; then
  echo "demo.sh: kavrel-sim made no COM1 link in $DEMO" >&2
  exit 1
fi

for _ in $(seq 1 20); do [ -s kavrel-sim.log ] && break; sleep 0.1; done
echo "demo.sh: $(head -n 1 kavrel-sim.log)"
# Qt wants a private runtime directory and complains on every start without
# one; a session that lacks it (a virtual display, su) gets one for the demo.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kavrel-demo-runtime.XXXXXX")
  export XDG_RUNTIME_DIR
  trap 'stop_sim; rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
echo "demo.sh: starting Kavrel in $DEMO; close its window to end the demo."
status=0
"$BUILD/program/kavrel" || status=$?
exit $status
