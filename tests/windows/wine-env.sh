# Sourced by the Wine tests and the Wine benchmark: a Wine prefix of their own in
# "$1", set to Windows 10, with the modem-line library preloaded (pty_modem_lines.c).
# Sets WINEPREFIX, LD_PRELOAD and wine (the 64-bit loader).
wine_prepare_prefix() {
  local work=$1
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
  cc -shared -fPIC -O2 -o "$work/pty_modem_lines.so" "$here/pty_modem_lines.c" -ldl
  export LD_PRELOAD=$work/pty_modem_lines.so
  # Where a case asks it to refuse a second open of a pseudo-terminal (see there).
  export PTY_EXCLUSIVE_MARK=$work/pty-exclusive
  "$wine" wineboot -i >/dev/null 2>&1
  "$wine" winecfg -v win10 >/dev/null 2>&1
  wineserver -w
}
