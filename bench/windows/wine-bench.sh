#!/usr/bin/env bash
# vorkal-cli.exe under Wine against the virtual display paced at 57600 baud: Read 84 x 48,
# Read 128 x 64 and the log download as ratios of the wire floor (bench/cli/cli_bench).
#   bench/windows/wine-bench.sh [runs]     after ./test --windows (or scripts/windows-build.sh)
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target cli_bench >/dev/null
work=$(mktemp -d /tmp/vorkal-wine-bench.XXXXXX)
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
. tests/windows/wine-env.sh
wine_prepare_prefix "$work"
VORKAL_WINE_CLI=$PWD/build-windows/cli/vorkal-cli.exe build/bench/cli/cli_bench "${1:-3}"
