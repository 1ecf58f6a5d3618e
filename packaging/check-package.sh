#!/usr/bin/env bash
# Builds the .deb with CPack from a finished build folder, unpacks it into a
# temporary root and checks it the way a Debian desktop will use it: files where
# the desktop looks for them, programs that run, valid desktop entry and
# AppStream metainfo, readable manual pages, kavrel-gateway's systemd unit
# (systemd-analyze verify) with its configuration as a conffile, the Prometheus
# rules and Grafana dashboard, and lintian without errors or warnings.
#
# lintian tags kept (all of them "info", none a warning):
#   hardening-no-bindnow, hardening-no-fortify-functions
#       the package is made from the project's ordinary build, whose flags are
#       the compiler's defaults (PIE and relro are on); it is not built through
#       dpkg-buildflags.
#   binary-has-unneeded-section .comment
#       CPack strips with plain `strip`, which leaves the compiler's .comment
#       section (a few hundred bytes).
#
# Usage: packaging/check-package.sh BUILD_DIR     (exit status 0: all good)
set -euo pipefail
BUILD=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
APP_ID=org.kavrel.Kavrel

rm -rf "$BUILD/package"
if ! (cd "$BUILD" && cpack -G DEB) >"$BUILD/cpack.log" 2>&1; then
  cat "$BUILD/cpack.log"
  exit 1
fi
deb=$(ls "$BUILD"/package/kavrel_*.deb)
echo "package: $deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Where the desktop, man and dpkg look.
for f in usr/bin/kavrel usr/bin/kavrel-cli usr/bin/kavrel-sim usr/bin/kavrel-gateway \
         "usr/share/applications/$APP_ID.desktop" "usr/share/metainfo/$APP_ID.metainfo.xml" \
         "usr/share/icons/hicolor/scalable/apps/$APP_ID.svg" \
         usr/share/man/man1/kavrel.1.gz usr/share/man/man1/kavrel-cli.1.gz \
         usr/share/man/man1/kavrel-sim.1.gz usr/share/man/man1/kavrel-gateway.1.gz \
         usr/lib/systemd/system/kavrel-gateway.service etc/kavrel/gateway.toml \
         usr/share/doc/kavrel/examples/gateway.toml \
         usr/share/kavrel/prometheus/kavrel-rules.yml usr/share/kavrel/grafana/kavrel-dashboard.json \
         usr/share/doc/kavrel/copyright usr/share/doc/kavrel/changelog.gz; do
  [ -f "$root/$f" ] || fail "$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png"
  file -b "$png" 2>/dev/null | grep -q "PNG image data, $size x $size," ||
    fail "no ${size}x${size} PNG icon ($(file -b "$png" 2>&1))"
done
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr ! -name etc)
[ -z "$outside" ] || fail "files outside /usr and /etc: $outside"

# Every file in /etc is a conffile (dpkg keeps the administrator's edits), and
# the service's unit starts the package's gateway on one of them.
conffiles=$(dpkg-deb --info "$deb" conffiles 2>/dev/null || true)
for f in $(cd "$root" && find etc -type f); do
  grep -qx "/$f" <<<"$conffiles" || fail "/$f is not a conffile (conffiles: $conffiles)"
done
unit="$root/usr/lib/systemd/system/kavrel-gateway.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
read -r exec_program exec_option exec_config exec_rest <<<"$exec_start"
[ "$exec_program" = /usr/bin/kavrel-gateway ] || fail "ExecStart= runs $exec_program, not /usr/bin/kavrel-gateway"
[ "$exec_option" = --config ] && grep -qx "$exec_config" <<<"$conffiles" ||
  fail "ExecStart= reads \"$exec_option $exec_config\", not a conffile of the package"
grep -qx 'StateDirectory=kavrel-gateway' "$unit" || fail "the unit has no StateDirectory=kavrel-gateway"
# The shipped configuration is one the shipped gateway accepts.
out=$(timeout 10 "$root/usr/bin/kavrel-gateway" --config "$root/etc/kavrel/gateway.toml" --check 2>&1) ||
  fail "kavrel-gateway --check of /etc/kavrel/gateway.toml: $out"

# The rules as Prometheus will read them from the package, and the dashboard as
# JSON that Grafana can import.
if command -v promtool >/dev/null; then
  out=$(promtool check rules "$root/usr/share/kavrel/prometheus/kavrel-rules.yml" 2>&1) ||
    fail "promtool check rules: $out"
else
  echo "promtool not installed: the packaged rules are not checked"
fi
out=$(python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); assert d["panels"] and d["uid"]' \
      "$root/usr/share/kavrel/grafana/kavrel-dashboard.json" 2>&1) || fail "the dashboard is not a Grafana dashboard: $out"

# The menu entry starts a program of the package and shows its icon.
desktop="$root/usr/share/applications/$APP_ID.desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not a program of the package"
[ "$(sed -n 's/^Icon=//p' "$desktop")" = "$APP_ID" ] || fail "Icon= is not $APP_ID"
grep -q "<launchable type=\"desktop-id\">$APP_ID.desktop</launchable>" \
  "$root/usr/share/metainfo/$APP_ID.metainfo.xml" || fail "the metainfo does not launch $APP_ID.desktop"

# Dependencies found by dpkg-shlibdeps, not written by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libqt6charts6; do
  [[ "$depends" == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
done

# The unpacked programs run and know the package's version, as does the
# newest release in the metainfo.
version=$(dpkg-deb -f "$deb" Version)
for path in "$root"/usr/bin/*; do
  program=$(basename "$path")
  out=$(timeout 10 "$path" --version 2>&1 </dev/null) || fail "$program --version exits with $?"
  [ "$out" = "$program $version" ] || fail "$program --version says \"$out\", not \"$program $version\""
done
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$APP_ID.metainfo.xml" ||
  fail "the metainfo has no release $version"

# One maintainer, whoever made the package, in the control file and the
# changelog; one licence in the copyright file and the metainfo.
maintainer=$(dpkg-deb -f "$deb" Maintainer)
trailer=$(zcat "$root/usr/share/doc/kavrel/changelog.gz" | sed -n 's/^ -- \(.*\)  .*/\1/p' | head -1)
[ "$trailer" = "$maintainer" ] || fail "the changelog is signed \"$trailer\", the package's maintainer is \"$maintainer\""
grep -qx 'License: GPL-3.0+' "$root/usr/share/doc/kavrel/copyright" &&
  grep -q '<project_license>GPL-3.0-or-later</project_license>' "$root/usr/share/metainfo/$APP_ID.metainfo.xml" ||
  fail "the copyright file and the metainfo do not both give GPL-3.0-or-later"

out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$root/usr/share/metainfo/$APP_ID.metainfo.xml" 2>&1) ||
  fail "appstreamcli validate: $out"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) || true
  [ -z "$out" ] || fail "$(basename "$page"): $out"
done

# The unit as systemd reads it, inside the unpacked root: its program must be
# there, its manual page found, every key known. The units it refers to
# (sysinit.target, ...) are this machine's, copied beside it.
cp -an /usr/lib/systemd/system/. "$root/usr/lib/systemd/system/"
out=$(MANPATH="$root/usr/share/man" systemd-analyze verify --root="$root" "$unit" 2>&1) ||
  fail "systemd-analyze verify (exit $?): $out"
[ -z "$out" ] || fail "systemd-analyze verify: $out"

# lintian: no errors, and no warnings but these (a tag and its file, as lintian
# prints them).
ALLOWED_WARNINGS=()
rc=0
out=$(lintian --fail-on error --color never "$deb" 2>&1) || rc=$?
out=$(grep -v '^running with root privileges' <<<"$out" || true)
[ $rc -eq 0 ] || fail "lintian (exit $rc): $out"
while IFS= read -r line; do
  [[ "$line" == W:* ]] || continue
  allowed=0
  for a in "${ALLOWED_WARNINGS[@]}"; do [[ "$line" == "W: kavrel: $a" ]] && allowed=1; done
  if [ $allowed -eq 1 ]; then echo "lintian, allowed: $line"; else fail "lintian: $line"; fi
done <<<"$out"

if [ $failures -ne 0 ]; then
  echo "package check: $failures failure(s)"
  exit 1
fi
echo "package check: ok"
