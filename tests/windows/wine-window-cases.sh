# The window's cases of wine-tests.sh (sourced from wine-cases.sh): vorkal.exe driven as
# a user would, with clicks at its controls' places (a fixed layout, 440 x 492 client
# area) and keys typed into its dialogs, what it shows read from the screen and what it
# writes from the files. A screenshot of each step goes to $VORKAL_WINE_SCREENSHOTS.
shots=${VORKAL_WINE_SCREENSHOTS:-$work}
temp=$WINEPREFIX/drive_c/windows/temp

wait_for() {  # seconds, what is awaited, then a command: polls the command until it succeeds
  local what=$2 tries=$(($1 * 5))
  shift 2
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || { echo "timed out waiting for $what"; return 1; }
    sleep 0.2
  done
}

screen() { import -window root "$work/screen.png" 2>/dev/null; }
shot() { screen && cp "$work/screen.png" "$shots/wine-$1.png"; }  # the whole screen, to look at

# The status text (234..399, 24..52 in the window) is green (0, 128, 0) once the display
# answers and red (255, 0, 0) without it.
status_is() {  # colour: more than 50 pixels of the status text have it
  screen || return 1
  local n
  n=$(convert "$work/screen.png" -crop "165x28+$((wx + 234))+$((wy + 24))" +repage \
    -fill black +opaque "$1" -fill white -opaque "$1" -format '%[fx:round(mean*w*h)]' info: 2>/dev/null)
  [ "${n:-0}" -gt 50 ]
}
red="rgb(255,0,0)" green="rgb(0,128,0)"

region_shot() {  # x, y, width, height in the window, file
  screen && convert "$work/screen.png" -crop "$3x$4+$((wx + $1))+$((wy + $2))" +repage "$5"
}
region_differs() {  # x, y, width, height, an earlier shot of it, pixels: more than that many changed since
  region_shot "$1" "$2" "$3" "$4" "$work/region-now.png" || return 1
  local changed
  changed=$(compare -metric AE "$5" "$work/region-now.png" null: 2>&1 | cut -d' ' -f1)
  [ "${changed%.*}" -gt "$6" ] 2>/dev/null
}
preview=(11 195 420 288)
port_list=(16 108 67 21)
port_closed() {  # the port list is enabled (black text) only while the port is closed
  region_shot "${port_list[@]}" "$work/port-list.png" || return 1
  local dark
  dark=$(convert "$work/port-list.png" -colorspace gray -threshold 30% -negate -format '%[fx:round(mean*w*h)]' info:)
  [ "${dark:-0}" -gt 30 ]
}
preview_shot() { region_shot "${preview[@]}" "$1"; }
preview_differs() { region_differs "${preview[@]}" "$@"; }
click_at() { xdotool mousemove $((wx + $1)) $((wy + $2)) click 1; }

# A top-level window by its title (a regular expression), waited for: its id.
find_window() { timeout "${2:-30}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1; }
# A dialog by its title, once it has the keyboard: its id.
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
dialog() {  # title (a regular expression), seconds
  local id
  id=$(find_window "$1" "$2")
  [ -n "$id" ] && wait_for 10 "$1 to take the keyboard" active_is "$id" && echo "$id"
}
no_window() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# A key for a dialog, pressed again while the dialog stays: Wine loses a key that comes
# while it is still handing the dialog the focus, however active its window looks.
answer() {  # title (a regular expression), key
  local tries=5
  until xdotool key "$2" && wait_for 5 "$1 to close" no_window "$1" >/dev/null; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || { echo "$1 stayed after $2"; return 1; }
  done
}
# A file name typed into a file dialog and taken with Return, typed anew while the dialog
# stays (Wine may lose keys while it hands the dialog the focus).
enter_file_name() {  # dialog title (a regular expression), name
  local tries=3
  until xdotool key ctrl+a && xdotool type --delay 20 "$2" && xdotool key Return &&
    wait_for 10 "$1 to close" no_window "$1" >/dev/null; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || { shot "stuck-dialog"; echo "$1 stayed after typing $2"; return 1; }
  done
}
main_title() { xdotool getwindowname "$main_id" 2>/dev/null; }
title_is() { [ "$(main_title)" = "$1" ]; }

windows_close() {  # ends the windows of the case
  local pid
  for pid in "${apps[@]}"; do
    kill "$pid" 2>/dev/null
    wait_for 10 "the window to end" eval "! kill -0 $pid 2>/dev/null" || kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  apps=()
}
apps=()

other_window() {  # ids of windows there before: sets main_id to a window that is not one of them
  main_id=$(xdotool search --onlyvisible --name 'Vorkal Configurator' 2>/dev/null | grep -vxF -e "${1:-none}" | head -1)
  [ -n "$main_id" ]
}

# Starts a window on COM5, the stored port it opens: sets main_id and wx, wy (the client
# area's place on the screen).
window_start() {
  local before
  before=$(xdotool search --onlyvisible --name 'Vorkal Configurator' 2>/dev/null)
  "$wine" reg add 'HKCU\Software\Brask\Vorkal' /v Port /t REG_DWORD /d 5 /f >/dev/null 2>&1
  "$wine" "$win/app/vorkal.exe" >>"$work/window.out" 2>&1 &
  apps+=($!)
  wait_for 60 "the window" other_window "$before" || return 1
  # (xdotool would add the frame's offset once more.)
  wx=$(xwininfo -id "$main_id" | sed -n 's/.*Absolute upper-left X: *//p')
  wy=$(xwininfo -id "$main_id" | sed -n 's/.*Absolute upper-left Y: *//p')
  wait_for 20 "the status to show Disconnected in red" status_is "$red"
}

window_open() {  # a window of its own, connected
  windows_close
  window_start || return 1
  click_at 49 168                                   # Open
  wait_for 20 "the status to show Connected in green" status_is "$green"
}

# A transfer has ended once its progress window is gone.
transfer_done() { no_window '^Transmission in progress'; }
received() { transfer_done && ! status_is "$green"; }  # the editor covers the display's status

window_receive() {  # Read, until the editor and the received layout show
  preview_shot "$work/empty.png" || return 1
  click_at 55 29                                    # Receive
  # The progress window over the preview would change it as well.
  wait_for 30 "the editor in place of the display's status" received || return 1
  wait_for 10 "the preview to show the received layout" preview_differs "$work/empty.png" 500
}

window_e2e_case() {
  stop_display
  start_display --variant 128 --demo-log
  window_open || return 1
  window_receive || return 1
  shot received
  windows_close
}
check "the window opens COM5, shows Connected and receives the layouts" window_e2e_case

window_edit_send_case() {
  stop_display
  start_display --variant 128 --demo-log
  lcli receive "$work/display-before.set" --quiet || return 1
  window_open || return 1
  window_receive || return 1
  shot edit-0
  preview_shot "$work/unedited.png"
  # Three steps to the right with the X position's up arrow: the selected element moves
  # by three cells of the preview.
  xdotool mousemove $((wx + 303)) $((wy + 58)) click --repeat 3 --delay 150 1
  wait_for 10 "the preview to show the moved element" preview_differs "$work/unedited.png" 100 || return 1
  shot edit-1
  wait_for 10 "the unsaved mark in the title" title_is "Vorkal Configurator v0.72 *" || return 1
  touch "$work/before-send"
  click_at 135 30                                   # Send
  shot edit-2
  wait_for 30 "the sent configuration (no unsaved mark)" title_is "Vorkal Configurator v0.72" || { main_title; return 1; }
  shot edit-3
  windows_close
  # The backup is the display as it was before the send, in the application-data folder.
  local backup
  backup=$(find "$users" -path '*/AppData/Roaming/*' -newer "$work/before-send" -type f)
  [ "$(echo "$backup" | grep -c .)" = 1 ] || { echo "not one new backup in AppData/Roaming: $backup"; return 1; }
  cmp "$backup" "$work/display-before.set" || return 1
  lcli receive "$work/display-after.set" --quiet || return 1
  # The display holds the edit and nothing else: one byte, the X position, 3 more.
  cmp -l "$work/display-before.set" "$work/display-after.set" >"$work/sent-change.txt"
  local was=0 now=0
  [ "$(wc -l <"$work/sent-change.txt")" = 1 ] && read -r _ was now <"$work/sent-change.txt"
  if [ $((8#$now - 8#$was)) != 3 ]; then
    echo "the display's bytes that changed (offset, before, after in octal):"; cat "$work/sent-change.txt"; return 1
  fi
}
check "the window edits an element and sends it with a backup" window_edit_send_case

# The log in every type the save dialog offers (its "Files of type" list, in order), as
# the name of the file the window writes and the Linux CLI's options for the same.
log_exports=(
  "text.txt"
  "track.kml"
  "extruded.kml --extruded"
  "track.gpx"
)

window_export() {  # type (1 = the list's first), file name in C:\windows\temp
  click_at 379 172                                  # Save To File
  dialog '^Save As' 20 >/dev/null || { echo "no save dialog"; return 1; }
  # The name field has the focus; Tab goes on to the type list, which Home and Down
  # set (the dialog opens with the type chosen last), and Shift+Tab comes back.
  xdotool key Tab Home
  for _ in $(seq 2 "$1"); do xdotool key Down; done
  xdotool key shift+Tab
  shot "export-$1"
  enter_file_name '^Save As' "C:\\windows\\temp\\$2" || return 1
  wait_for 20 "$2 to be written" test -s "$temp/$2"
}

window_export_case() {
  stop_display
  start_display --variant 128 --demo-log
  window_open || return 1
  window_receive || return 1
  click_at 141 173                                  # Logs Viev
  wait_for 30 "the log download" transfer_done || return 1
  shot log
  local n=0 entry name
  for entry in "${log_exports[@]}"; do
    n=$((n + 1))
    name=w-${entry%% *}
    rm -f "$temp/$name"
    window_export "$n" "$name" || return 1
  done
  windows_close
  for entry in "${log_exports[@]}"; do
    read -r name options <<<"$entry"
    # shellcheck disable=SC2086
    lcli log download "$work/$name" $options --quiet || return 1
    cmp "$temp/w-$name" "$work/$name" || return 1
  done
}
check "the window downloads the log and saves it as text, KML, extruded KML and GPX as the CLI does" window_export_case

# The window's messages carry the program's name as their title.
message_box() { dialog '^VorkalConfig$' "$1"; }

window_firmware_case() {
  stop_display
  start_display --variant 84log
  cp "$data/hex/objcopy_crlf.hex" "$temp/wfw.hex"
  window_open || return 1
  click_at 366 135                                  # Firmware Update
  dialog '^Open$' 20 >/dev/null || { echo "no open dialog"; return 1; }
  enter_file_name '^Open$' 'C:\windows\temp\wfw.hex' || return 1
  dialog '^Confirm firmware update' 20 >/dev/null || { echo "no question"; return 1; }
  shot firmware-question
  answer '^Confirm firmware update' alt+y || return 1  # Yes
  # The end of the update: a message (the CLI below tells what it was).
  message_box 120 >/dev/null || { shot firmware-no-message; echo "no message after the update"; return 1; }
  shot firmware-done
  answer '^VorkalConfig$' Return || return 1
  windows_close
  cli info >"$work/winfo.txt" 2>&1 || { cat "$work/winfo.txt"; return 1; }
  grep -q "Firmware version: v2.71" "$work/winfo.txt" || { cat "$work/winfo.txt"; return 1; }
}
check "the window updates the firmware from a HEX file" window_firmware_case

window_pulled_cable_case() {
  stop_display
  start_display --variant 128
  window_open || return 1
  stop_display                                      # the display hangs up
  wait_for 30 "the status to show Disconnected in red" status_is "$red" || return 1
  shot cable-pulled
  start_display --variant 128
  # A hang-up that a pending read of the window sees closes the port; one that only the
  # status poll's missing answers show leaves it open on the dead line, and the user
  # closes it first.
  if ! port_closed; then
    echo "the window holds the port of the hung-up display: Close"
    click_at 49 168                                 # Close
    wait_for 10 "the port to close" port_closed || return 1
  fi
  shot cable-closed
  click_at 49 168                                   # Open
  wait_for 20 "the status to show Connected in green" status_is "$green" || return 1
  shot cable-back
  windows_close
}
check "the window shows a pulled cable as Disconnected and connects again once back" window_pulled_cable_case

# What the window's message box says: Ctrl+C in it copies its title, text and buttons,
# which Wine hands on to the X clipboard.
message_text() {  # file
  xdotool key ctrl+c
  timeout 10 xclip -selection clipboard -o >"$1" 2>/dev/null
  grep -q . "$1"
}

# Windows refuses a second open of a port; Wine does not, so the preloaded library
# refuses it as Linux does for a device held exclusively: with EBUSY, which Wine passes
# on as a lock violation (not the access denial of Windows); both say "in use".
port_held_elsewhere() {
  window_open || return 1
  cli info >"$work/held-cli.txt" 2>&1
  local code=$?
  if [ "$code" != 3 ] || ! grep -q "Can't open port COM5" "$work/held-cli.txt"; then
    echo "CLI: exit $code"; cat "$work/held-cli.txt"; return 1
  fi
  local holder=("${apps[@]}")
  window_start || return 1
  click_at 49 168                                   # Open, in the second window
  message_box 20 >/dev/null || { echo "no message"; return 1; }
  shot port-held
  wait_for 10 "the message's text on the clipboard" message_text "$work/held.txt" || return 1
  tr -d '\r' <"$work/held.txt" >"$work/held-lines.txt"
  local line
  for line in "  Can't open port COM5" 'Check COM/USB cable and click "Retry" or' 'COM5 is in use by another program\.'; do
    grep -qx "$line" "$work/held-lines.txt" || { echo "no line '$line' in:"; cat "$work/held.txt"; return 1; }
  done
  # The other program lets go of the port; Retry (the default button) opens it.
  kill "${holder[@]}"
  wait_for 20 "the first window to end" eval "! kill -0 ${holder[*]} 2>/dev/null" || return 1
  answer '^VorkalConfig$' Return || return 1
  wait_for 20 "the status to show Connected in green" status_is "$green" || return 1
  shot port-retried
  windows_close
}

window_port_in_use_case() {
  stop_display
  start_display --variant 128
  touch "$PTY_EXCLUSIVE_MARK"
  port_held_elsewhere
  local result=$?
  rm -f "$PTY_EXCLUSIVE_MARK"
  return $result
}
check "a port held by another window is refused as in use; Retry opens it once free" window_port_in_use_case
