#!/usr/bin/env bash
# Installs what is needed, builds Kavrel twice (g++; clang with AddressSanitizer and
# UndefinedBehaviorSanitizer plus the fuzz targets), runs every test in both builds
# and runs each fuzz target for a bounded time. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}

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
  local log="$dir/ctest.log"
  if (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 300) 2>&1 | tee "$log"; then
    :
  else
    status=1
  fi
  summary+=("$name: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
}

echo "=== the house: layers, file names, the style of the changed lines"
if python3 scripts/check-layers.py "$ROOT"; then layers=ok; else layers=FAILED; status=1; fi
if bash scripts/check-format.sh; then format=ok; else format=FAILED; status=1; fi
summary+=("house: layers $layers, format $format")

echo "=== g++ build"
run_build "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
run_ctest "$ROOT/build" "g++"

echo "=== the .deb, made by CPack from the g++ build, unpacked and checked"
if bash "$ROOT/packaging/check-package.sh" "$ROOT/build"; then
  summary+=("package: ok")
else
  status=1
  summary+=("package: FAILED")
fi

echo "=== clang build with ASan+UBSan and fuzz targets"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
run_build "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKAVREL_SANITIZE=ON -DKAVREL_FUZZ=ON -DKAVREL_BENCH=OFF
run_ctest "$ROOT/build-asan" "clang ASan+UBSan"

echo "=== Windows build (MinGW): tests of comm, model and settings, and kavrel-cli.exe sessions, under Wine"
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

echo "=== fuzzing, ${FUZZ_SECONDS}s per target"
fuzz_fail=0
for f in "$ROOT"/build-asan/fuzz/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$ROOT/build-asan/fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$ROOT/fuzz/seeds/$name" ] && seeds=("$ROOT/fuzz/seeds/$name")
  if "$f" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
      -artifact_prefix="$ROOT/build-asan/fuzz/$name-" "$corpus" "${seeds[@]}" >"$corpus.log" 2>&1; then
    echo "$name: clean"
  else
    echo "$name: FAILED"; tail -n 40 "$corpus.log"; fuzz_fail=1
  fi
done
[ $fuzz_fail -eq 0 ] || status=1
summary+=("fuzzing: $([ $fuzz_fail -eq 0 ] && echo clean || echo FAILED)")

echo "=== summary"
printf '%s\n' "${summary[@]}"
exit $status
