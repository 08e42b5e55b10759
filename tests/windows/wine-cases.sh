# The cases of wine-tests.sh (sourced there): each drives vorkal-cli.exe or vorkal.exe
# under Wine against the virtual display, and compares with the Linux programs where
# both must write the same bytes.
data=$here/../data
lcli() { VORKAL_PORT_DIR=$work/ports "$linux/cli/vorkal-cli" "$@" --port COM99; }
# Wine names the profile folder after $USER when it is set, which need not be id -un.
users=$WINEPREFIX/drive_c/users

start_display --variant 84log --demo-log

info_case() {
  cli info >"$work/info.txt" 2>&1 || return 1
  grep -q "Firmware version: v1.23" "$work/info.txt"
}
check "vorkal-cli info reads the firmware version over COM5" info_case

receive_case() {
  cli receive 'C:\windows\temp\got.set' --quiet || return 1
  lcli receive "$work/linux.set" --quiet || return 1
  cmp "$WINEPREFIX/drive_c/windows/temp/got.set" "$work/linux.set"
}
check "receive writes the same file as on Linux" receive_case

send_case() {
  # With a trace, so that a failure shows what went over the line.
  local trace=$WINEPREFIX/drive_c/windows/temp/send.log
  cli send 'C:\windows\temp\got.set' --log 'C:\windows\temp\send.log' >"$work/send.txt" 2>&1 ||
    { echo "exit $?"; cat "$work/send.txt"; tail -15 "$trace"; return 1; }
  grep -q "protocol: exit code 0" "$trace" || { echo "the trace does not end the send:"; tail -5 "$trace"; return 1; }
  local backup
  backup=$(sed -n 's/^backup: //p' "$work/send.txt" | tr -d '\r')
  [ -n "$backup" ] || { echo "no backup line:"; cat "$work/send.txt"; return 1; }
  # The backup named is a file in the user's application-data folder.
  local unix
  unix=$("$wine" winepath -u "$backup" 2>/dev/null | tr -d '\r')
  [ -f "$unix" ] || { echo "backup $backup ($unix) is not a file"; return 1; }
  unix=$(realpath "$unix")
  case "$unix" in "$(realpath "$users")"/*/AppData/Roaming/*) ;; *) echo "backup outside AppData: $unix"; return 1 ;; esac
}
check "send keeps a backup in the application-data folder" send_case

log_case() {
  local kind
  for kind in txt kml gpx; do
    cli log download "C:\\windows\\temp\\log.$kind" --quiet || return 1
    lcli log download "$work/log.$kind" --quiet || return 1
    cmp "$WINEPREFIX/drive_c/windows/temp/log.$kind" "$work/log.$kind" || return 1
  done
}
check "log download writes text, KML and GPX as on Linux" log_case

flash_case() {
  cp "$data/hex/objcopy_crlf.hex" "$WINEPREFIX/drive_c/windows/temp/fw.hex"
  cli flash 'C:\windows\temp\fw.hex' --yes >"$work/flash.txt" 2>&1 || { cat "$work/flash.txt"; return 1; }
  cli info >"$work/info2.txt" 2>&1 || return 1
  grep -q "v2.71" "$work/info2.txt"
}
check "flash programs and verifies the firmware" flash_case

pulled_cable_case() {
  stop_display
  start_display --variant 128 --hang-up-after 20
  cli receive 'C:\windows\temp\cut.set' >"$work/cut.txt" 2>&1
  local code=$?
  [ "$code" = 3 ] || [ "$code" = 4 ] || { echo "exit $code"; cat "$work/cut.txt"; return 1; }
  [ ! -e "$WINEPREFIX/drive_c/windows/temp/cut.set" ] || { echo "a cut receive wrote a file"; return 1; }
  stop_display
  start_display --variant 128
  cli info >"$work/again.txt" 2>&1 || { cat "$work/again.txt"; return 1; }
  grep -q "Firmware version" "$work/again.txt"
}
check "a pulled cable fails the receive; the display answers again once back" pulled_cable_case

ctrl_c_case() {
  # A slow line (4800 baud, paced) so that the receive is still running when Ctrl+C
  # comes; Wine turns the SIGINT into the console's Ctrl+C event.
  stop_display
  start_display --variant 128 --pace --speed-index 4
  "$wine" "$win/cli/vorkal-cli.exe" receive 'C:\windows\temp\stopped.set' --port COM5 --speed 4800 \
    >"$work/ctrlc.txt" 2>&1 &
  local runner=$!
  for _ in $(seq 1 600); do grep -q '10%' "$work/ctrlc.txt" && break; sleep 0.05; done
  grep -q '10%' "$work/ctrlc.txt" || { echo "the receive never got going"; cat "$work/ctrlc.txt"; kill -9 "$runner"; return 1; }
  kill -INT "$runner" || return 1
  for _ in $(seq 1 600); do kill -0 "$runner" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$runner" 2>/dev/null && { echo "still running 30 s after Ctrl+C"; kill -9 "$runner"; return 1; }
  wait "$runner"
  local code=$?
  [ "$code" = 130 ] || { echo "exit $code"; cat "$work/ctrlc.txt"; return 1; }
  grep -q 'Canceled' "$work/ctrlc.txt" || { cat "$work/ctrlc.txt"; return 1; }
  [ ! -e "$WINEPREFIX/drive_c/windows/temp/stopped.set" ] || { echo "a cancelled receive wrote its file"; return 1; }
  stop_display
  start_display --variant 128
}
check "Ctrl+C cancels a running receive: exit 130, no file" ctrl_c_case

window_case() {
  timeout 120 "$wine" "$win/app/vorkal.exe" --screenshot 'C:\windows\temp\window.png' || return 1
  cp "$WINEPREFIX/drive_c/windows/temp/window.png" "${VORKAL_WINE_SCREENSHOTS:-$work}/wine-window.png" 2>/dev/null
  # 440 x 492 client area, whatever the frame.
  identify -format '%w %h' "$WINEPREFIX/drive_c/windows/temp/window.png" | grep -q '^440 492$'
}
check "the window shows (screenshot saved)" window_case

. "$here/wine-window-cases.sh"

installer_case() {
  [ -n "${VORKAL_INSTALLER:-}" ] || { echo "no installer given"; return 1; }
  timeout 120 "$wine" "$VORKAL_INSTALLER" /S || return 1
  wineserver -w
  local dir=$WINEPREFIX/drive_c/Program\ Files/Vorkal
  [ -f "$dir/vorkal.exe" ] && [ -f "$dir/vorkal-cli.exe" ] && [ -f "$dir/uninstall.exe" ] || { ls -R "$WINEPREFIX/drive_c/Program Files" | head; return 1; }
  find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Vorkal Configurator.lnk' | grep -q . || return 1
  timeout 120 "$wine" "C:\\Program Files\\Vorkal\\vorkal.exe" --screenshot 'C:\windows\temp\installed.png' || return 1
  [ -s "$WINEPREFIX/drive_c/windows/temp/installed.png" ] || return 1
  timeout 120 "$wine" "C:\\Program Files\\Vorkal\\uninstall.exe" /S || return 1
  wineserver -w
  # The uninstaller copies itself away and runs from there; wait for its removal.
  for _ in $(seq 1 300); do [ ! -e "$dir/vorkal.exe" ] && break; sleep 0.1; done
  [ ! -e "$dir/vorkal.exe" ] && [ ! -e "$dir/uninstall.exe" ]
}
check "the installer installs, the installed program starts, the uninstaller removes it" installer_case
