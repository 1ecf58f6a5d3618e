#!/usr/bin/env bash
# Runs the g++ build's test suite while stress-ng keeps every core busy, as a
# CI machine shared with other work is, and asks it to pass several times in a
# row. Exits non-zero at the first run with a failure.
#   test-under-load.sh [RUNS]   RUNS: passes in a row wanted (default 3)
# Environment: BUILD (default build/, configured and built as scripts/test.sh
# does it), STRESS_CPU (stress-ng's CPU workers, default 3 per core), JOBS
# (ctest's parallel tests, default the number of cores).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
RUNS=${1:-3}
BUILD=${BUILD:-$ROOT/build}
JOBS=${JOBS:-$(nproc)}
STRESS_CPU=${STRESS_CPU:-$((3 * $(nproc)))}

case "$RUNS" in
  ''|*[!0-9]*|0) echo "test-under-load: RUNS must be a positive number, not '$RUNS'" >&2; exit 2;;
esac
if ! command -v stress-ng >/dev/null; then
  echo "test-under-load: stress-ng is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

export QT_QPA_PLATFORM=offscreen
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.ccache}
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-3G}
export CCACHE_BASEDIR=$ROOT
export CCACHE_NOHASHDIR=1
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$BUILD" -j "$JOBS"

stress=""
stop_stress() {
  if [ -n "$stress" ]; then
    kill "$stress" 2>/dev/null || true
    wait "$stress" 2>/dev/null || true
    stress=""
  fi
}
trap stop_stress EXIT INT TERM

for run in $(seq 1 "$RUNS"); do
  echo "=== run $run of $RUNS, beside stress-ng --cpu $STRESS_CPU"
  # Bounded by itself too, should this script be killed without its trap.
  stress-ng --cpu "$STRESS_CPU" --timeout 3600s --quiet &
  stress=$!
  log="$BUILD/ctest-under-load-$run.log"
  if ! (cd "$BUILD" && ctest --output-on-failure -j "$JOBS" --timeout 600) >"$log" 2>&1; then
    stop_stress
    grep -E 'tests passed|tests failed|\(Failed\)|\(Timeout\)' "$log" || true
    echo "test-under-load: run $run failed under load; the log is $log" >&2
    exit 1
  fi
  stop_stress
  grep -E 'tests passed' "$log" | tail -n 1
done
echo "test-under-load: $RUNS runs in a row passed under load"
