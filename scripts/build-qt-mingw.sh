#!/usr/bin/env bash
# Builds a static Qt 6.4.2 (qtbase and Qt Charts) for 64-bit Windows with
# Debian's MinGW-w64 compilers and installs it into a cache folder, once:
#
#   ${XDG_CACHE_HOME:-~/.cache}/kavrel/qt-6.4.2-mingw-<key>/
#   ${XDG_CACHE_HOME:-~/.cache}/kavrel/qt-mingw -> qt-6.4.2-mingw-<key>
#
# The key is a hash of the Qt version, the configure options, the stand-in
# tablet headers, the toolchain file and the compiler version. When the
# install for the key is complete (its stamp file is written last), the script
# does nothing. The `windows-gui` CMake preset finds Qt through the qt-mingw
# link.
#
# Sources:
#   qtbase: Debian's source package qt6-base (the orig tarball, unpacked as it
#     is; Debian's patches are not applied). A deb-src entry for the configured
#     mirror is added when apt does not know the source package yet (root).
#   Qt Charts: $KAVREL_QTCHARTS_TARBALL, else $KAVREL_VENDOR_DIR (default
#     <repo>/../shared/vendor/), else a copy in the cache's downloads folder.
#
# Usage: scripts/build-qt-mingw.sh [--print-prefix | --print-key]
#   JOBS=<n> sets the build's parallelism (default: the number of cores).
set -euo pipefail

QT_VERSION=6.4.2
CHARTS_SHA256=19c0da55072b540cc6ba85c8a61bf29305b050ec1f7e7f5f1e8f6be7db8d3276
CHARTS_NAME=qtcharts-${QT_VERSION}.tar.xz

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HERE=$REPO/scripts/qt-mingw
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/kavrel
DOWNLOADS=$CACHE/downloads
HOST_QT_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
VENDOR=${KAVREL_VENDOR_DIR:-$REPO/../shared/vendor}
CXX=x86_64-w64-mingw32-g++-posix
JOBS=${JOBS:-$(nproc)}

# Everything not needed by Kavrel's programs and GUI tests is left out. Qt Test
# (testlib), the offscreen platform plugin and print support stay in. Optimised
# for size (-Os), which compiles faster than Qt's own -O2/-O3 on a fresh build
# machine; a service program drawing a few charts a second does not notice.
QTBASE_OPTIONS=(
  -release -optimize-size -static -xplatform win32-g++ -qt-host-path /usr
  -nomake tests -nomake examples
  -no-opengl -no-dbus -no-feature-sql -no-feature-network -no-feature-concurrent -no-feature-xml
  -no-feature-vulkan -no-icu -no-feature-jpeg -no-feature-gif
  -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre -qt-doubleconversion
)
QTBASE_CMAKE_OPTIONS=(
  -DQT_HOST_PATH_CMAKE_DIR=$HOST_QT_CMAKE_DIR
)
# Kavrel draws line series and stacked bars over value, category and date axes.
CHARTS_OPTIONS=(
  -no-feature-charts-spline-chart -no-feature-charts-area-chart -no-feature-charts-scatter-chart
  -no-feature-charts-pie-chart -no-feature-charts-boxplot-chart -no-feature-charts-candlestick-chart
)

die() {
  echo "build-qt-mingw: $*" >&2
  exit 1
}

command -v "$CXX" >/dev/null || die "$CXX not found (Debian package g++-mingw-w64-x86-64-posix)"
[ -f "$HOST_QT_CMAKE_DIR/Qt6HostInfo/Qt6HostInfoConfig.cmake" ] ||
  die "the host Qt $QT_VERSION is missing (Debian packages qt6-base-dev, qt6-base-dev-tools)"

cache_key() {
  {
    echo "qt $QT_VERSION"
    echo "qtbase ${QTBASE_OPTIONS[*]} ${QTBASE_CMAKE_OPTIONS[*]}"
    echo "charts ${CHARTS_OPTIONS[*]}"
    "$CXX" --version | head -n 1
    "$CXX" -dumpmachine
    sha256sum <"$HERE/toolchain.cmake"
    sha256sum <"$HERE/wintab/wintab.h"
    sha256sum <"$HERE/wintab/pktdef.h"
  } | sha256sum | cut -c1-12
}

KEY=$(cache_key)
PREFIX=$CACHE/qt-$QT_VERSION-mingw-$KEY
POINTER=$CACHE/qt-mingw
STAMP=$PREFIX/.kavrel-complete

case "${1:-}" in
  --print-key)
    echo "$KEY"
    exit 0
    ;;
  --print-prefix)
    echo "$PREFIX"
    exit 0
    ;;
  "") ;;
  *) die "unknown argument '$1' (use --print-prefix or --print-key)" ;;
esac

if [ -f "$STAMP" ]; then
  ln -sfn "$(basename "$PREFIX")" "$POINTER"
  echo "build-qt-mingw: Qt $QT_VERSION for MinGW is in $PREFIX (key $KEY), nothing to do"
  exit 0
fi

START=$SECONDS
mkdir -p "$DOWNLOADS"

# --- Qt Charts sources: found and checked before any long work ----------------
find_charts() {
  local candidate
  for candidate in "${KAVREL_QTCHARTS_TARBALL:-}" "$VENDOR/$CHARTS_NAME" "$DOWNLOADS/$CHARTS_NAME"; do
    if [ -n "$candidate" ] && [ -f "$candidate" ]; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}
if ! CHARTS_TARBALL=$(find_charts); then
  cat >&2 <<EOF
build-qt-mingw: the Qt Charts $QT_VERSION sources were not found. Looked for:
  \$KAVREL_QTCHARTS_TARBALL (${KAVREL_QTCHARTS_TARBALL:-not set})
  $VENDOR/$CHARTS_NAME
  $DOWNLOADS/$CHARTS_NAME
Get them from the public qt/qtcharts repository, tag v$QT_VERSION, e.g.
  git clone --branch v$QT_VERSION https://code.qt.io/qt/qtcharts.git &&
  git -C qtcharts archive --prefix=qtcharts-$QT_VERSION/ v$QT_VERSION | xz >$CHARTS_NAME
or as qtcharts-everywhere-src-$QT_VERSION.tar.xz from Qt's download archive
(archive/qt/6.4/$QT_VERSION/submodules/), then run again with
  KAVREL_QTCHARTS_TARBALL=/path/to/the/tarball $0
EOF
  exit 1
fi
echo "$CHARTS_SHA256  $CHARTS_TARBALL" | sha256sum --check --quiet - ||
  die "$CHARTS_TARBALL: SHA-256 is not $CHARTS_SHA256 (not the Qt Charts $QT_VERSION sources this build expects)"
if [ "$CHARTS_TARBALL" != "$DOWNLOADS/$CHARTS_NAME" ]; then
  cp "$CHARTS_TARBALL" "$DOWNLOADS/$CHARTS_NAME.part" && mv "$DOWNLOADS/$CHARTS_NAME.part" "$DOWNLOADS/$CHARTS_NAME"
fi

# --- qtbase sources from Debian ---------------------------------------------------
find_qtbase() {
  compgen -G "$DOWNLOADS/qt6-base_$QT_VERSION*.orig.tar.*" | head -n 1
}
if ! QTBASE_TARBALL=$(find_qtbase) || [ -z "$QTBASE_TARBALL" ]; then
  command -v dpkg-source >/dev/null || die "apt-get source needs dpkg-dev (Debian package dpkg-dev)"
  if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q "^Version: $QT_VERSION"; then
    [ "$(id -u)" = 0 ] || die "apt knows no source package qt6-base $QT_VERSION: add a deb-src entry for your Debian mirror and run apt-get update"
    [ -f /etc/apt/sources.list.d/debian.sources ] || die "no /etc/apt/sources.list.d/debian.sources to derive a deb-src entry from"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >/etc/apt/sources.list.d/kavrel-deb-src.sources
    apt-get update -qq
  fi
  (cd "$DOWNLOADS" && apt-get source --download-only "qt6-base")
  QTBASE_TARBALL=$(find_qtbase)
  [ -n "$QTBASE_TARBALL" ] || die "apt-get source qt6-base brought no $QT_VERSION orig tarball"
fi

# --- build ---------------------------------------------------------------------------
BUILD=$CACHE/build-$KEY
rm -rf "$BUILD" "$PREFIX"
mkdir -p "$BUILD/qtbase-src" "$BUILD/qtbase" "$BUILD/qtcharts-src" "$BUILD/qtcharts"
echo "build-qt-mingw: unpacking $(basename "$QTBASE_TARBALL") and $CHARTS_NAME"
tar -xf "$QTBASE_TARBALL" -C "$BUILD/qtbase-src" --strip-components=1
tar -xf "$DOWNLOADS/$CHARTS_NAME" -C "$BUILD/qtcharts-src" --strip-components=1
mkdir -p "$BUILD/qtbase-src/src/3rdparty/wintab"
cp "$HERE/wintab/wintab.h" "$HERE/wintab/pktdef.h" "$BUILD/qtbase-src/src/3rdparty/wintab/"

# Qt's objects get a compiler cache of their own, so that they do not push the
# project's objects out of ~/.ccache.
LAUNCHER=()
if command -v ccache >/dev/null; then
  export CCACHE_DIR=$CACHE/ccache CCACHE_MAXSIZE=${QT_CCACHE_MAXSIZE:-3G} CCACHE_BASEDIR=$BUILD CCACHE_NOHASHDIR=1
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "build-qt-mingw: configuring qtbase (key $KEY)"
(cd "$BUILD/qtbase" && "$BUILD/qtbase-src/configure" -prefix "$PREFIX" "${QTBASE_OPTIONS[@]}" -- \
  -DCMAKE_TOOLCHAIN_FILE="$HERE/toolchain.cmake" "${QTBASE_CMAKE_OPTIONS[@]}" "${LAUNCHER[@]}")
# The programs need the Windows platform plugin and print support, the GUI
# tests Qt Test and the offscreen platform plugin; a configure that quietly
# dropped one would only show much later, in the project's build.
for output in plugins/platforms/libqwindows.a plugins/platforms/libqoffscreen.a lib/libQt6Test.a \
  lib/libQt6PrintSupport.a; do
  grep -q "$output" "$BUILD/qtbase/build.ninja" || die "the qtbase configure would not build $output"
done
echo "build-qt-mingw: building qtbase ($(( (SECONDS - START) / 60 )) min so far)"
cmake --build "$BUILD/qtbase" --parallel "$JOBS"
cmake --install "$BUILD/qtbase"

echo "build-qt-mingw: configuring Qt Charts ($(( (SECONDS - START) / 60 )) min so far)"
(cd "$BUILD/qtcharts" && "$PREFIX/bin/qt-configure-module" "$BUILD/qtcharts-src" "${CHARTS_OPTIONS[@]}" -- "${LAUNCHER[@]}")
cmake --build "$BUILD/qtcharts" --parallel "$JOBS"
cmake --install "$BUILD/qtcharts"

{
  echo "Qt $QT_VERSION for x86_64-w64-mingw32, static, built by scripts/build-qt-mingw.sh"
  echo "key $KEY"
  echo "qtbase: $(basename "$QTBASE_TARBALL") ${QTBASE_OPTIONS[*]} ${QTBASE_CMAKE_OPTIONS[*]}"
  echo "charts: $CHARTS_NAME ${CHARTS_OPTIONS[*]}"
  echo "compiler: $("$CXX" --version | head -n 1)"
} >"$PREFIX/kavrel-build-info.txt"
touch "$STAMP"
ln -sfn "$(basename "$PREFIX")" "$POINTER"
rm -rf "$BUILD"

ELAPSED=$((SECONDS - START))
echo "build-qt-mingw: Qt $QT_VERSION for MinGW installed in $PREFIX ($(du -sh "$PREFIX" | cut -f1))"
echo "build-qt-mingw: took $((ELAPSED / 60)) min $((ELAPSED % 60)) s"
times
