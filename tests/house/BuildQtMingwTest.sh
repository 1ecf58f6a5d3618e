#!/usr/bin/env bash
# scripts/build-qt-mingw.sh refuses before any long work when the Qt Charts
# sources are missing or not the expected ones, and does nothing when the
# cache already holds a complete install for its key. Runs in a cache folder
# of its own; builds and downloads nothing.
#   BuildQtMingwTest.sh SOURCE-DIR
set -uo pipefail
script=$1/scripts/build-qt-mingw.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrel-qtcache-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache KAVREL_VENDOR_DIR=$work/no-vendor
unset KAVREL_QTCHARTS_TARBALL
failures=0

# expect NAME WANTED-CODE PATTERN: runs the script and checks its exit code and output.
expect() {
  local name=$1 want=$2 pattern=$3
  shift 3
  local out code
  out=$("$@" 2>&1)
  code=$?
  if [ "$code" = "$want" ] && grep -qF -- "$pattern" <<<"$out"; then
    echo "ok: $name"
  else
    echo "FAILED: $name (exit code $code, wanted $want and \"$pattern\")"
    sed 's/^/    /' <<<"$out"
    failures=$((failures + 1))
  fi
}

expect "no Qt Charts sources: says where to get them" 1 "tag v6.4.2" bash "$script"
printf 'not the sources\n' >"$work/charts.tar.xz"
expect "sources with another SHA-256 are refused" 1 "SHA-256 is not" \
  env KAVREL_QTCHARTS_TARBALL="$work/charts.tar.xz" bash "$script"
[ ! -e "$work/cache/kavrel/downloads/qtcharts-6.4.2.tar.xz" ] || {
  echo "FAILED: refused sources were kept in the cache"
  failures=$((failures + 1))
}

# A complete install for the key: nothing is fetched or built, the link is set.
prefix=$(bash "$script" --print-prefix)
mkdir -p "$prefix" && touch "$prefix/.kavrel-complete"
expect "a complete install is used as it is" 0 "nothing to do" bash "$script"
[ "$(readlink "$work/cache/kavrel/qt-mingw")" = "$(basename "$prefix")" ] || {
  echo "FAILED: qt-mingw does not point at $(basename "$prefix")"
  failures=$((failures + 1))
}
# Another key (another compiler, options or headers) is another folder.
case $prefix in
  "$work/cache/kavrel/qt-6.4.2-mingw-"????????????) echo "ok: the install folder is named by the key" ;;
  *) echo "FAILED: install folder $prefix"; failures=$((failures + 1)) ;;
esac

[ $failures = 0 ]
