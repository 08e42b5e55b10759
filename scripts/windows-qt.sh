#!/usr/bin/env bash
# Builds the static Qt for the Windows program from Debian's own qt6-base source, once a
# machine: the result lives in a machine-wide cache named by the Qt version and the
# configure line, outside any clone. Prints the install prefix on its last line.
#   scripts/windows-qt.sh            build when missing, print the prefix
#   scripts/windows-qt.sh --prefix   print the prefix only (no build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$here/cmake/mingw-w64-x86_64.cmake
qt_version=6.4.2
cache_root=${VORKAL_WINDOWS_QT_CACHE:-/var/cache/vorkal-windows-qt}

configure_line=(
  -static -release -opensource -confirm-license
  -nomake examples -nomake tests
  -qt-host-path /usr -xplatform win32-g++
  -no-feature-tabletevent -no-feature-direct2d -no-opengl -no-dbus -no-icu -no-feature-sql -no-feature-network
  -no-feature-printsupport -no-feature-concurrent -no-feature-testlib_selfcover
  -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-pcre -qt-harfbuzz
)
cmake_line=(
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DCMAKE_TOOLCHAIN_FILE=$toolchain
)
key=$(printf '%s\n' "${configure_line[@]}" "${cmake_line[@]//$here/}" "$(cat "$toolchain")" | sha256sum | cut -c1-12)
prefix=$cache_root/qt-$qt_version-mingw64-$key

if [ "${1:-}" = --prefix ]; then echo "$prefix"; exit 0; fi
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

mkdir -p "$cache_root"
# One build at a time on a machine; a second caller waits for the first.
exec 9>"$cache_root/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

work=$cache_root/work-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
if ! ls /etc/apt/sources.list.d/*.sources 2>/dev/null | xargs -r grep -q '^Types:.*deb-src' \
   && ! grep -qs '^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/*.list; then
  # The same archive the machine installs from, for source packages too.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed 's/^Types: deb$/Types: deb-src/' "$f" > "/etc/apt/sources.list.d/vorkal-src-$(basename "$f")"
  done
  apt-get update -q >/dev/null
fi
apt-get source -q --download-only qt6-base >/dev/null
tar xf qt6-base_*.orig.tar.* 
src=$(find . -maxdepth 1 -type d -name 'qtbase-*' | head -1)
# Without direct2d, 6.4.2 refers to the DirectWrite font database it then does not build.
sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
  "$src/src/plugins/platforms/windows/qwindowsintegration.cpp"
# Each step's output goes to a log in the work folder; a failing step shows its end.
logged() {
  local log=$work/$1.log; shift
  if ! "$@" > "$log" 2>&1; then
    echo "windows-qt: $* failed; the end of $log:" >&2
    tail -40 "$log" >&2
    exit 1
  fi
}
echo "windows-qt: building Qt $qt_version for Windows in $work (about 30 minutes on 2 cores)" >&2
mkdir build && cd build
logged configure "../$src/configure" -prefix "$prefix" "${configure_line[@]}" -- "${cmake_line[@]}"
logged build cmake --build . --parallel "$(nproc)"
logged install cmake --install .
touch "$prefix/.complete"
cd / && rm -rf "$work"
echo "$prefix"
