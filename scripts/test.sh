#!/usr/bin/env bash
# Installs what is needed, builds Kavrel twice (g++; clang with AddressSanitizer and
# UndefinedBehaviorSanitizer plus the fuzz targets), runs every test in both builds,
# runs each fuzz target for a bounded time, and cross-builds for Windows (the core,
# then kavrel.exe against a static Qt) to run those tests under Wine. Exits
# non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}

# Each step's wall time, printed as it ends and again in the summary.
step_times=()
step_name=
step_start=$SECONDS
step() {
  if [ -n "$step_name" ]; then
    local t=$((SECONDS - step_start))
    step_times+=("$(printf '%-28s %3d min %2d s' "$step_name:" $((t / 60)) $((t % 60)))")
    echo "--- $step_name took $((t / 60)) min $((t % 60)) s"
  fi
  step_name=$1
  step_start=$SECONDS
  [ -z "$step_name" ] || echo "=== $2"
}

step dependencies "installing the dependencies"
bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.ccache}
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-3G}
# Builds from another clone of the repository hit the same cache entries.
export CCACHE_BASEDIR=$ROOT
export CCACHE_NOHASHDIR=1

status=0
summary=()

run_build() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

run_ctest() {
  local dir=$1 name=$2
  shift 2
  local log="$dir/ctest.log"
  if (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 300 "$@") 2>&1 | tee "$log"; then
    :
  else
    status=1
  fi
  summary+=("$name: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
}

# Qt for MinGW, when the cache lacks it, is built in the background from the
# start, at the lowest priority: it takes the cores the builds and tests leave
# idle, and the Windows GUI step, the last, waits for it. With the cache it
# returns at once.
mkdir -p "$ROOT/build-win-gui"
qt_log="$ROOT/build-win-gui/build-qt-mingw.log"
# A process group of its own (job control), so that a run that ends early takes
# the whole build with it; the same session, so that its low priority counts
# against the other steps (the kernel shares the processor between sessions
# first).
set -m
nice -n 19 bash scripts/build-qt-mingw.sh >"$qt_log" 2>&1 &
qt_pid=$!
set +m
trap 'kill -- -"$qt_pid" 2>/dev/null || true' EXIT

step house "the house: layers, file names, the style of the changed lines"
if python3 scripts/check-layers.py "$ROOT"; then layers=ok; else layers=FAILED; status=1; fi
if bash scripts/check-format.sh; then format=ok; else format=FAILED; status=1; fi
summary+=("house: layers $layers, format $format")

step g++ "g++ build"
run_build "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
run_ctest "$ROOT/build" "g++"

step package "the .deb, made by CPack from the g++ build, unpacked and checked"
if bash "$ROOT/packaging/check-package.sh" "$ROOT/build"; then
  summary+=("package: ok")
else
  status=1
  summary+=("package: FAILED")
fi

step asan "clang build with ASan+UBSan and fuzz targets"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
run_build "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKAVREL_SANITIZE=ON -DKAVREL_FUZZ=ON -DKAVREL_BENCH=OFF
run_ctest "$ROOT/build-asan" "clang ASan+UBSan"

step windows "Windows build (MinGW): tests of comm, model and settings, and kavrel-cli.exe sessions, under Wine"
# One Wine prefix in build-win/, made once and reused; its wineserver is
# stopped between the sessions and at the end (tests/wine). A folder of the
# older build-only check is made afresh.
grep -qs mingw-w64.cmake "$ROOT/build-win/CMakeCache.txt" || rm -rf "$ROOT/build-win"
if cmake -S "$ROOT" -B "$ROOT/build-win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
     -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVREL_GUI=OFF -DKAVREL_BENCH=OFF -DKAVREL_TESTS=ON \
     -DKAVREL_HOST_SIM="$ROOT/build/sim/kavrel-sim" >/dev/null \
   && cmake --build "$ROOT/build-win" -j "$JOBS"; then
  run_ctest "$ROOT/build-win" "Windows under Wine"
else
  status=1
  summary+=("Windows build: FAILED")
fi
WINEPREFIX="$ROOT/build-win/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true

step fuzzing "fuzzing, ${FUZZ_SECONDS}s per target"
fuzz_fail=0
# One target per core at a time.
fuzz_one() {
  local f=$1 name corpus seeds=()
  name=$(basename "$f")
  corpus="$ROOT/build-asan/fuzz/corpus-$name"
  mkdir -p "$corpus"
  [ -d "$ROOT/fuzz/seeds/$name" ] && seeds=("$ROOT/fuzz/seeds/$name")
  if "$f" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
      -artifact_prefix="$ROOT/build-asan/fuzz/$name-" "$corpus" "${seeds[@]}" >"$corpus.log" 2>&1; then
    echo "$name: clean"
  else
    echo "$name: FAILED"; tail -n 40 "$corpus.log"; return 1
  fi
}
fuzz_pids=()
for f in "$ROOT"/build-asan/fuzz/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  if [ ${#fuzz_pids[@]} -ge "$JOBS" ]; then
    wait "${fuzz_pids[0]}" || fuzz_fail=1
    fuzz_pids=("${fuzz_pids[@]:1}")
  fi
  fuzz_one "$f" &
  fuzz_pids+=($!)
done
for pid in "${fuzz_pids[@]}"; do wait "$pid" || fuzz_fail=1; done
[ $fuzz_fail -eq 0 ] || status=1
summary+=("fuzzing: $([ $fuzz_fail -eq 0 ] && echo clean || echo FAILED)")

step windows-gui "Windows GUI (MinGW, static Qt): kavrel.exe and the GUI tests under Wine"
# Qt for MinGW is built once into the cache (see above) and then found there.
# The tests of comm, model and settings ran in the Windows step; here the window
# tests and kavrel.exe itself.
if wait "$qt_pid"; then
  qt_ok=1
  grep -E '^build-qt-mingw:|^[0-9]+m[0-9.]+s' "$qt_log" || true
else
  qt_ok=0
  tail -n 60 "$qt_log"
fi
if [ $qt_ok = 1 ] \
   && cmake --preset windows-gui >/dev/null \
   && cmake --build --preset windows-gui -j "$JOBS"; then
  run_ctest "$ROOT/build-win-gui" "Windows GUI under Wine" -E '^(kavrel_(comm|model|settings)_tests|portable_sources)$'
else
  status=1
  summary+=("Windows GUI build: FAILED")
fi
WINEPREFIX="$ROOT/build-win-gui/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true

step "" ""
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "=== time per step"
printf '%s\n' "${step_times[@]}"
exit $status
