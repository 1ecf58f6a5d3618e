#!/usr/bin/env bash
# The code that the Windows build shares with Linux stays free of POSIX
# headers: only the POSIX serial layer, and the settings file library and the
# network serial server port, and kavrel-cli's terminal check (each keeping its
# POSIX branch apart from its Windows one) may include them. The GUI is checked here too,
# as its Windows build cannot be made on this machine.
#   portable_sources.sh SOURCE-DIR
set -uo pipefail
cd "$1"
hits=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd|termios|fcntl|poll|pty|utmp|pthread|dlfcn|dirent|pwd|grp|syslog|iconv|sys/[a-z_]+)\.h>' \
         comm model settings app views tools program --include='*.cpp' --include='*.h' \
       | grep -vE '^(comm/SerialDevicePosix\.cpp|comm/SerialDeviceTcp\.cpp|settings/Settings\.cpp|tools/Terminal\.cpp):')
if [ -n "$hits" ]; then
  echo "POSIX headers outside the POSIX serial layer, the TCP port and the settings library:"
  echo "$hits"
  exit 1
fi
echo "portable sources: no POSIX header outside comm/SerialDevicePosix.cpp, comm/SerialDeviceTcp.cpp, settings/Settings.cpp and tools/Terminal.cpp"
