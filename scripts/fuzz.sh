#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a number of seconds each, over its seed corpus,
# JOBS targets at a time (default: the number of cores, at most 2; each target runs on one core).
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/fuzz}
seconds=${2:-20}
jobs=${3:-${QUORVANE_FUZZ_JOBS:-$(($(nproc) < 2 ? 1 : 2))}}
shopt -s nullglob
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

targets=()
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] && targets+=("$target")
done

# One target over a copy of its seeds; its log is kept when it fails.
fuzz_one() {
  local target=$1 name work
  name=$(basename "$target")
  work="$scratch/$name"
  mkdir -p "$work"
  local seeds="fuzz/corpus/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$work" 2>"$work.log"; then
    rm -rf "$work" "$work.log"
  else
    touch "$work.failed"
  fi
}

running=0
for target in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzzing $(basename "$target") for ${seconds}s"
  fuzz_one "$target" &
  running=$((running + 1))
done
wait

failed=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  if [ -e "$scratch/$name.failed" ]; then
    tail -n 60 "$scratch/$name.log"
    echo "fuzz target $name failed"
    failed=$((failed + 1))
  fi
done
((failed == 0)) || exit 1
echo "fuzzed ${#targets[@]} target(s), $jobs at a time"
