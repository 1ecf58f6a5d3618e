#!/usr/bin/env bash
# Installs everything Kavrel needs to build, run and test on Debian 12.
# Idempotent: packages already present are skipped. Works as root or through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  clang libclang-rt-14-dev clang-format-14
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  # lupdate and lrelease for the Polish texts, and Qt's own Polish texts
  qt6-l10n-tools qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pymodbus python3-serial python3-serial-asyncio mbpoll
  xvfb xauth
  # kavrel-gateway: its libraries, and the broker, client and checker its tests run
  libcpp-httplib-dev libmosquitto-dev libsqlite3-dev libtomlplusplus-dev nlohmann-json3-dev
  mosquitto mosquitto-clients prometheus sqlite3
  # pdftotext reads the service report back in the tests.
  poppler-utils
  # scripts/test-under-load.sh keeps the cores busy with it beside the suite.
  stress-ng
  # The .deb and its checks: CPack's dpkg-shlibdeps and file, the desktop and
  # AppStream validators, lintian, man, rsvg-convert for the PNG icons, and
  # systemd-analyze for kavrel-gateway's unit.
  dpkg-dev file lintian desktop-file-utils appstream man-db librsvg2-bin systemd
  # Only for the Windows build and its tests under Wine (googletest: the
  # sources, built with MinGW); Kavrel does not need them to run here.
  g++-mingw-w64-x86-64-posix googletest wine64
  # The Windows installer (makensis) and its icon, made from the SVG (icotool).
  nsis icoutils
)

# One dpkg-query for the whole list: asked one by one, they take seconds.
installed=$(dpkg-query -W -f='${Package}\t${Status}\n' "${PACKAGES[@]}" 2>/dev/null |
  awk -F'\t' '$2 == "install ok installed" {print $1}' || true)
missing=()
for p in "${PACKAGES[@]}"; do
  grep -Fxq -- "$p" <<<"$installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
