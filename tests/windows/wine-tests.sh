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

# A private X server with a window manager, started before any Wine process so that
# Wine's desktop process and every window use it.
start_x() {
  [ -n "${xvfb_pid:-}" ] && return 0
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/xdisplay" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 1 500); do grep -q '^[0-9]' "$work/xdisplay" 2>/dev/null && break; sleep 0.02; done
  export DISPLAY=:$(cat "$work/xdisplay")
  for _ in $(seq 1 500); do xprop -root >/dev/null 2>&1 && break; sleep 0.02; done
  XDG_CONFIG_HOME=$work/openbox openbox --sm-disable >/dev/null 2>&1 &
  for _ in $(seq 1 500); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.02; done
}

start_x
echo "wine: preparing the prefix"
wine_prepare_prefix "$work"

# The virtual display registers its pseudo-terminal as COM99 in a port directory of its
# own; Wine's own port table (HKLM\Software\Wine\Ports) makes that link COM5, so Wine
# puts COM5 into the system's serial device map at every start, as Windows does for a
# plugged adapter.
mkdir -p "$work/ports"
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$work/ports/COM99" /f >/dev/null 2>&1
wineserver -k; wineserver -w

start_display() {
  rm -f "$work/ports/COM99"
  VORKAL_PORT_DIR=$work/ports "$linux/simulator/vorkal-virtual-display" --com 99 "$@" >"$work/display.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 500); do [ -L "$work/ports/COM99" ] && break; sleep 0.01; done
}
stop_display() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; sim_pid=; }

# Bounded: a hang fails its case with what it printed, instead of holding the run.
cli() { timeout 120 "$wine" "$win/cli/vorkal-cli.exe" "$@" --port COM5; }

. "$here/wine-cases.sh"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
