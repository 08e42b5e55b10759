# The cases of wine-tests.sh (sourced there): each drives vorkal-cli.exe or vorkal.exe
# under Wine against the virtual display, and compares with the Linux programs where
# both must write the same bytes.
data=$here/../data
lcli() { VORKAL_PORT_DIR=$work/ports "$linux/cli/vorkal-cli" "$@" --port COM99; }
appdata=$WINEPREFIX/drive_c/users/$USER/AppData/Roaming
[ -d "$WINEPREFIX/drive_c/users/$USER" ] || appdata=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming

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
  cli send 'C:\windows\temp\got.set' >"$work/send.txt" 2>&1 || return 1
  grep -q "backup: " "$work/send.txt" || return 1
  # The backup lands in the user's application-data folder.
  find "$appdata" -path '*backups*' -name '*.set' | grep -q .
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

window_case() {
  export DISPLAY=:$((90 + RANDOM % 100))
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 500); do xprop -root >/dev/null 2>&1 && break; sleep 0.02; done
  "$wine" "$win/app/vorkal.exe" --screenshot 'C:\windows\temp\window.png' || return 1
  cp "$WINEPREFIX/drive_c/windows/temp/window.png" "$work/../vorkal-wine-window.png" 2>/dev/null
  [ -s "$WINEPREFIX/drive_c/windows/temp/window.png" ] || return 1
  # 440 x 492 client area, whatever the frame.
  identify -format '%w %h' "$WINEPREFIX/drive_c/windows/temp/window.png" | grep -q '^440 492$'
}
check "the window shows (screenshot saved)" window_case

installer_case() {
  [ -n "${VORKAL_INSTALLER:-}" ] || { echo "no installer given"; return 1; }
  "$wine" "$VORKAL_INSTALLER" /S || return 1
  wineserver -w
  local dir=$WINEPREFIX/drive_c/Program\ Files/Vorkal
  [ -f "$dir/vorkal.exe" ] && [ -f "$dir/vorkal-cli.exe" ] && [ -f "$dir/uninstall.exe" ] || { ls -R "$WINEPREFIX/drive_c/Program Files" | head; return 1; }
  find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Vorkal Configurator.lnk' | grep -q . || return 1
  "$wine" "C:\\Program Files\\Vorkal\\vorkal.exe" --screenshot 'C:\windows\temp\installed.png' || return 1
  [ -s "$WINEPREFIX/drive_c/windows/temp/installed.png" ] || return 1
  "$wine" "C:\\Program Files\\Vorkal\\uninstall.exe" /S || return 1
  wineserver -w
  # The uninstaller copies itself away and runs from there; wait for its removal.
  for _ in $(seq 1 300); do [ ! -e "$dir/vorkal.exe" ] && break; sleep 0.1; done
  [ ! -e "$dir/vorkal.exe" ] && [ ! -e "$dir/uninstall.exe" ]
}
check "the installer installs, the installed program starts, the uninstaller removes it" installer_case
