#!/usr/bin/env bash
# Cross-builds the Windows programs (vorkal.exe, vorkal-cli.exe) against the static Qt
# of scripts/windows-qt.sh (built first when missing) and makes the installer.
#   scripts/windows-build.sh [BUILD_DIR]     default build-windows/
# Prints the installer's path on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-windows}
scripts/windows-qt.sh >/dev/null
qt=$(scripts/windows-qt.sh --prefix)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DVORKAL_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" --target vorkal vorkal-cli
x86_64-w64-mingw32-strip "$dir/app/vorkal.exe" "$dir/cli/vorkal-cli.exe"

version=$(sed -n 's/^project(Vorkal VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p "$dir/installer"
cp "$dir/app/vorkal.exe" "$dir/cli/vorkal-cli.exe" "$dir/installer/"
installer=$PWD/$dir/vorkal-configurator-$version-setup.exe
makensis -V2 -DVERSION="$version" -DBUILD="$PWD/$dir/installer" -DOUT="$installer" \
  -DLICENSE="$PWD/LICENSE" packaging/windows/vorkal.nsi >/dev/null
echo "$installer"
