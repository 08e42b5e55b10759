#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# Sourced by ./run and ./test; installs only what is missing.
#   vorkal_install_deps        what the configurator and the virtual display need to
#                              build and run (./run)
#   vorkal_install_deps test   that, and the test, benchmark and fuzz tools (./test)
#   vorkal_install_deps windows   that, and the cross compilers, the Qt source's build
#                              needs, the installer maker and Wine (./test --windows)
set -euo pipefail

# Building and running the program and the virtual display.
VORKAL_RUN_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-dejavu-core fonts-liberation
  # Qt's own texts (standard buttons, file dialogs) in Polish
  qt6-translations-l10n
)

# Tests, benchmarks, fuzzing, screenshots and the load generator for stress runs.
VORKAL_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-apps x11-utils xdotool xclip imagemagick openbox
  gdal-bin gpsbabel libxml2-utils srecord binutils binutils-avr
  qt6-serialport-dev
  stress-ng
  # the package check (scripts/check-package.sh)
  desktop-file-utils appstream lintian dpkg-dev
)

# The Windows programs: MinGW-w64, what building Qt from source needs, NSIS, Wine.
VORKAL_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  dpkg-dev xz-utils perl python3
  nsis wine wine64
)

vorkal_missing_packages() {
  local missing=()
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]:-}"
}

vorkal_install_deps() {
  local wanted=("${VORKAL_RUN_PACKAGES[@]}")
  [ "${1:-}" = test ] && wanted+=("${VORKAL_TEST_PACKAGES[@]}")
  [ "${1:-}" = windows ] && wanted+=("${VORKAL_TEST_PACKAGES[@]}" "${VORKAL_WINDOWS_PACKAGES[@]}")
  local missing
  missing=$(vorkal_missing_packages "${wanted[@]}")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: $missing"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
  else
    echo "Missing Debian packages. Run this once, then start again:"
    echo "  sudo apt-get update && sudo apt-get install -y $missing"
    exit 1
  fi
}
