#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a number of seconds each, over its seed corpus.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/fuzz}
seconds=${2:-20}
shopt -s nullglob
found=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>"$work.log" || {
    tail -n 60 "$work.log"; echo "fuzz target $name failed"; exit 1; }
  rm -rf "$work" "$work.log"
  found=$((found + 1))
done
echo "fuzzed $found target(s)"
