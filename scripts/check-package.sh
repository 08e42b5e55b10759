#!/usr/bin/env bash
# Builds the Debian package in a build folder and checks it: the desktop entry and
# the AppStream data validate, lintian finds no error, and the program unpacked
# into a temporary root starts (offscreen) as far as its window.
#   scripts/check-package.sh [build-dir]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$build"
rm -f vorkal-configurator_*.deb
if ! cpack -G DEB >cpack.log 2>&1; then cat cpack.log; exit 1; fi
deb=$(ls vorkal-configurator_*.deb)

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
echo "== $deb"
dpkg-deb -f "$deb" Package Version Depends

echo "== desktop-file-validate"
desktop-file-validate "$root/pkg/usr/share/applications/VorkalConfig.desktop"
echo "== appstreamcli validate"
appstreamcli validate --no-net "$root"/pkg/usr/share/metainfo/*.metainfo.xml
echo "== lintian"
lintian --display-info --fail-on error "$deb"

echo "== the unpacked program"
mkdir -p "$root/home"
HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" VORKAL_PORT_DIR="$root/ports" \
  QT_QPA_PLATFORM=offscreen timeout 60 "$root/pkg/usr/bin/vorkal" --screenshot "$root/window.png"
size=$(identify -format '%wx%h' "$root/window.png")
[ "$size" = 440x492 ] || { echo "window picture is $size, not 440x492"; exit 1; }
"$root/pkg/usr/bin/vorkal" --version
"$root/pkg/usr/bin/vorkal-virtual-display" --help >/dev/null
"$root/pkg/usr/bin/vorkal-cli" --help >/dev/null
VORKAL_PORT_DIR="$root/ports" "$root/pkg/usr/bin/vorkal-cli" ports --json >/dev/null
echo "package checked: $build/$deb"
