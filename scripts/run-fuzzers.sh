#!/usr/bin/env bash
# Runs every fuzz target in folder $1 for $2 seconds on a copy of its seed corpus.
# Prints one line per target and a closing "N passed, N failed" line.
set -uo pipefail
bin=$1
secs=$2
seeds=$(cd "$(dirname "$0")/.." && pwd)/tests/data/fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
passed=0 failed=0
for f in "$bin"/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  name=$(basename "$f"); area=${name#fuzz_}
  mkdir -p "$work/$area"
  [ -d "$seeds/$area" ] && cp -r "$seeds/$area/." "$work/$area/" 2>/dev/null
  if "$f" "$work/$area" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/$name-" >"$work/$name.log" 2>&1; then
    runs=$(grep -o 'Done [0-9]* runs' "$work/$name.log" | tail -1)
    echo "$name: ok ($runs in ${secs}s)"
    passed=$((passed + 1))
  else
    echo "$name: FAILED"; tail -40 "$work/$name.log"
    mkdir -p fuzz-findings && cp "$work/$name-"* fuzz-findings/ 2>/dev/null
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
