#!/usr/bin/env bash
# Sets up what is missing, builds Quorvane (release build) and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF
cmake --build build/release
if [ -x build/release/src/app/quorvane ]; then
  exec build/release/src/app/quorvane "$@"
else
  exec build/release/src/cli/quorvane-cli --help
fi
