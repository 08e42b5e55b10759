#!/usr/bin/env bash
# The Windows programs end to end under Wine, against the virtual display (a Linux
# program) on a pseudo-terminal linked as COM5 of a Wine prefix of the tests' own.
#   tests/windows/wine-tests.sh WINDOWS_BUILD LINUX_BUILD
# Prints one line a case and "N passed, N failed" at the end; exits non-zero on a failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/vorkal-wine.XXXXXX)
passed=0 failed=0
sim_pid=

cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  [ "$failed" = 0 ] && rm -rf "$work"
}
trap cleanup EXIT

. "$here/wine-env.sh"

check() {  # name, then a command that must succeed
  local name=$1; shift
  if "$@" >"$work/case.out" 2>&1; then
    passed=$((passed + 1)); echo "PASS $name"
  else
    failed=$((failed + 1)); echo "FAIL $name"; sed 's/^/    /' "$work/case.out" | tail -30
  fi
}

echo "wine: preparing the prefix"
wine_prepare_prefix "$work"

# The virtual display: its own port directory, and its pseudo-terminal as COM5.
start_display() {
  mkdir -p "$work/ports"
  rm -f "$work/ports/COM99"
  VORKAL_PORT_DIR=$work/ports "$linux/simulator/vorkal-virtual-display" --com 99 "$@" 2>"$work/display.err" &
  sim_pid=$!
  for _ in $(seq 1 500); do [ -L "$work/ports/COM99" ] && break; sleep 0.01; done
  ln -sfn "$(readlink -f "$work/ports/COM99")" "$WINEPREFIX/dosdevices/com5"
  # Wine lists the ports of the device map, which mountmgr fills from dosdevices at start.
  "$wine" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Serial4' /t REG_SZ /d COM5 /f >/dev/null 2>&1
}
stop_display() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; sim_pid=; }

cli() { "$wine" "$win/cli/vorkal-cli.exe" "$@" --port COM5; }

. "$here/wine-cases.sh"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
