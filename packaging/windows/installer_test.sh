#!/usr/bin/env bash
# kavrel-setup-<version>.exe under Wine, in a prefix of its own: a silent install
# into a folder of the test's choosing, the installed programs' --version, the
# Start menu entries and the "Apps and Features" entry; then a silent uninstall,
# once waited for in place (_?=) and once the way Windows runs it (the
# uninstaller starts a copy of itself from the temporary folder and returns),
# after which nothing of Kavrel may be left.
#   installer_test.sh WINE64 PREFIX SETUP.EXE VERSION PROGRAM.EXE...
# (the programs the installer holds, kavrel.exe among them when the GUI is built)
set -uo pipefail
wine=$1 prefix=$2 setup=$3 version=$4
shift 4
programs=("$@")
# winemenubuilder would copy the Start menu entries into this machine's menus.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
# Every wait is bounded by what the step does on a busy machine: Wine's start,
# the unpacking of the programs (tens of MB with the GUI), a program's start.
STEP=300

cleanup() {
  "$wineserver" -k 2>/dev/null
  timeout "$STEP" "$wineserver" -w
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

if [ ! -f "$prefix/system.reg" ]; then
  echo "creating the Wine prefix $prefix"
  timeout "$STEP" "$wine" wineboot -i >/dev/null 2>&1 || { echo "FAILED: wineboot"; exit 1; }
fi

# No space in it: Wine quotes such an argument, and NSIS takes /D= only unquoted.
win_dir='C:\KavrelTest\Kavrel'
dir="$prefix/drive_c/KavrelTest/Kavrel"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kavrel"
work="$prefix/drive_c/users/Public/Documents/Kavrel"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kavrel'
rm -rf "$prefix/drive_c/KavrelTest" "$menu" "$work"

install() {
  timeout "$STEP" "$wine" "$setup" /S "/D=$win_dir" >/dev/null 2>&1
  local code=$?
  [ $code -eq 0 ] || fail "$(basename "$setup") /S exits with $code"
}

# What Windows would show of Kavrel after an uninstall: files, menu, registry.
check_removed() {
  local how=$1 left
  left=$(cd "$prefix/drive_c" && find "KavrelTest/Kavrel" "${menu#"$prefix/drive_c/"}" "${work#"$prefix/drive_c/"}" 2>/dev/null)
  [ -z "$left" ] || fail "$how: left behind: $left"
  timeout "$STEP" "$wine" reg query "$key" >/dev/null 2>&1 && fail "$how: the Apps and Features entry is still there"
}

echo "=== install"
install
for f in "${programs[@]}" uninstall.exe LICENSE.txt kavrel.ico; do
  [ -f "$dir/$f" ] || fail "$f is not installed in $win_dir"
done
[ -d "$work" ] || fail "no folder for the settings: ${work#"$prefix/"}"
grep -q "GNU GENERAL PUBLIC LICENSE" "$dir/LICENSE.txt" 2>/dev/null || fail "LICENSE.txt is not the GPL"
menu_entries=("Kavrel command line.lnk" "Uninstall Kavrel.lnk")
[[ " ${programs[*]} " == *" kavrel.exe "* ]] && menu_entries+=("Kavrel.lnk")
for f in "${menu_entries[@]}"; do
  [ -f "$menu/$f" ] || fail "no Start menu entry \"$f\""
done
entry=$(timeout "$STEP" "$wine" reg query "$key" 2>&1 | tr -d '\r')
grep -Eq "DisplayVersion +REG_SZ +$version\$" <<<"$entry" || fail "Apps and Features entry: $entry"
grep -Fq "\"$win_dir\\uninstall.exe\" /S" <<<"$entry" || fail "no quiet uninstall command: $entry"

# The installed programs run and name the version. A program that waited for a
# click on a message box would be stopped by the timeout.
for exe in "${programs[@]}"; do
  out=$(cd "$dir" && timeout "$STEP" "$wine" "$dir/$exe" --version 2>/dev/null </dev/null)
  code=$?
  out=$(tr -d '\r' <<<"$out")
  [ $code -eq 0 ] && [ "$out" = "${exe%.exe} $version" ] ||
    fail "$exe --version: exit code $code, \"$out\" (wanted \"${exe%.exe} $version\")"
done

echo "=== uninstall, waited for in place"
# The user's settings outlive the program.
printf 'COM=1\r\n' >"$work/Kavrel.INI"
# With _?= the uninstaller runs where it is and so cannot remove itself:
# uninstall.exe alone may stay, and the folder with it.
timeout "$STEP" "$wine" "$dir/uninstall.exe" /S "_?=$win_dir" >/dev/null 2>&1
code=$?
[ $code -eq 0 ] || fail "uninstall.exe /S _?= exits with $code"
[ -f "$work/Kavrel.INI" ] || fail "the uninstaller removed the user's Kavrel.INI"
rm -f "$work/Kavrel.INI"
rmdir "$work" 2>/dev/null
rm -f "$dir/uninstall.exe"
rmdir "$dir" 2>/dev/null
check_removed "uninstall in place"

echo "=== install again, uninstall as Windows runs it"
install
[ -f "$dir/uninstall.exe" ] || fail "the second install has no uninstall.exe"
timeout "$STEP" "$wine" "$dir/uninstall.exe" /S >/dev/null 2>&1
# The copy it started is done when the last Wine process of the prefix is.
timeout "$STEP" "$wineserver" -w || fail "the uninstaller's copy did not finish"
check_removed "uninstall"
rmdir "$prefix/drive_c/KavrelTest" 2>/dev/null

if [ $failures -ne 0 ]; then
  echo "$failures check(s) of the installer failed"
  exit 1
fi
echo "kavrel-setup under Wine: installed, ran, uninstalled, nothing left"
