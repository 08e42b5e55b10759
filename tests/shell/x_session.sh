#!/usr/bin/env bash
# Runs a test program on a private X server with a window manager (openbox), the way a
# desktop shows the program's windows: stacking, focus and frames are the manager's.
#   x_session.sh <width>x<height> <scale factor> <program> [arguments...]
# The scale factor goes to Qt as QT_SCALE_FACTOR (1: none). Exit 77 (skipped) only when
# the X server cannot start; otherwise the program's exit code.
set -uo pipefail

screen=${1:?usage: x_session.sh WxH scale program [args]}
scale=${2:?usage: x_session.sh WxH scale program [args]}
shift 2
for tool in Xvfb openbox xprop xdotool; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/deps.sh)"; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=
wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # seconds, command...: runs the command every 0.1 s until it succeeds
  local tries=$(($1 * 10)); shift
  while [ "$tries" -gt 0 ]; do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

# The server picks a free display number and writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display_written() { grep -q '^[0-9][0-9]*$' "$work/display"; }
if ! wait_for 30 display_written; then
  echo "SKIP: Xvfb did not start: $(tail -3 "$work/xvfb.log")"; exit 77
fi
export DISPLAY=":$(cat "$work/display")"
if ! wait_for 30 xprop -root; then
  echo "SKIP: the X server on $DISPLAY does not answer: $(tail -3 "$work/xvfb.log")"; exit 77
fi

# The window manager, with a configuration of its own so that no user's file counts.
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
XDG_CONFIG_HOME="$work/config" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# Up once it names itself on the root window.
if ! wait_for 30 xprop -root -notype _NET_SUPPORTING_WM_CHECK; then
  echo "FAIL: openbox did not start: $(tail -3 "$work/openbox.log")"; exit 1
fi
wm_running() { xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_for 30 wm_running || { echo "FAIL: openbox does not manage the screen"; exit 1; }

export QT_QPA_PLATFORM=xcb QT_LOGGING_RULES='qt.qpa.*=false' XDG_RUNTIME_DIR="$work/runtime"
if [ "$scale" != 1 ]; then export QT_SCALE_FACTOR="$scale"; else unset QT_SCALE_FACTOR; fi
echo "X server $DISPLAY, screen $screen, scale $scale, openbox"
"$@"
