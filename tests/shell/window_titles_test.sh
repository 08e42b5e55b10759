#!/usr/bin/env bash
# Starts the configurator on a private X server and reads, as the window system sees them,
# the titles and window class of the main window and of the box shown when Open fails on a
# port that does not exist. Titles must read exactly as written, with no program name
# appended; the program's name belongs in the window class.
#   window_titles_test.sh <path to the vorkal program>
# Exit 77 (skipped) only when the X server cannot start.
set -uo pipefail

program=${1:?usage: window_titles_test.sh <program>}
for tool in Xvfb xprop xdotool; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/deps.sh)"; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs "$@" every 0.1 s until it succeeds, for at most $1 seconds.
wait_for() {
  local seconds=$1; shift
  local tries=$((seconds * 10))
  while [ "$tries" -gt 0 ]; do
    "$@" >/dev/null && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

# The X server picks a free display number itself and writes it once it accepts clients.
# -noreset: the server keeps running as it is when its last client leaves.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display_written() { grep -q '^[0-9][0-9]*$' "$work/display"; }
if ! wait_for 30 display_written; then
  echo "SKIP: Xvfb did not start: $(tail -3 "$work/xvfb.log")"
  exit 77
fi
export DISPLAY=":$(cat "$work/display")"
# The program starts only once a client can talk to the server.
if ! wait_for 30 xprop -root _NET_SUPPORTED; then
  echo "SKIP: the X server on $DISPLAY does not answer: $(tail -3 "$work/xvfb.log")"
  exit 77
fi

# A private preferences store that remembers port COM200, and an empty port directory:
# no such port exists, so Open asks Retry/Cancel.
mkdir -p "$work/config/Brask" "$work/ports" "$work/runtime"
chmod 700 "$work/runtime"
printf '[General]\nPort=200\n' >"$work/config/Brask/Vorkal.conf"
QT_QPA_PLATFORM=xcb QT_LOGGING_RULES='qt.qpa.*=false' XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/runtime" VORKAL_PORT_DIR="$work/ports" \
  "$program" >"$work/program.log" 2>&1 &
app_pid=$!

# Visible top-level windows of the program, by the class it gives its windows.
program_windows() { xdotool search --onlyvisible --class '^VorkalConfig$' 2>/dev/null; }
# The value of a text property of a window, without quotes.
property() { xprop -id "$1" -notype "$2" | sed -n 's/^[^=]*= "\(.*\)"$/\1/p'; }
# Window class as "instance, class".
window_class() { xprop -id "$1" -notype WM_CLASS | sed -n 's/^WM_CLASS = //p'; }

expect_window() {  # window, what, title
  local id=$1 what=$2 title=$3 prop value
  for prop in _NET_WM_NAME WM_NAME; do
    value=$(property "$id" "$prop")
    [ "$value" = "$title" ] || fail "$what $prop is \"$value\", expected \"$title\""
  done
  value=$(window_class "$id")
  [[ "$value" == *', "VorkalConfig"' ]] || fail "$what WM_CLASS is $value, expected class \"VorkalConfig\""
}

one_window() { [ "$(program_windows | wc -l)" -eq 1 ]; }
if ! wait_for 60 one_window; then
  fail "the main window did not appear; program output:"; cat "$work/program.log"
  kill -0 "$xvfb_pid" 2>/dev/null && echo "the X server is running" || echo "the X server has ended"
  echo "X server output:"; tail -5 "$work/xvfb.log"; exit 1
fi
main=$(program_windows)
expect_window "$main" "main window" "Vorkal Configurator v0.72"

# Click Open (the port button at 16,158 in the window, 67 x 21) as a user would.
xdotool mousemove --window "$main" 49 168 click 1
box_window() { program_windows | grep -vx "$main" | head -1 | grep .; }
if ! wait_for 60 box_window; then
  fail "no message box appeared after Open; program output:"; cat "$work/program.log"; exit 1
fi
box=$(box_window)
expect_window "$box" "message box" "VorkalConfig"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "window titles and class as written"
