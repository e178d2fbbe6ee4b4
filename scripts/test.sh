#!/usr/bin/env bash
# Sets up what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (warnings are errors), runs a short fuzzing pass over the parsers and then the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)

# Every C++ source follows .clang-format.
bash scripts/format-check.sh
# Every library includes only the libraries it stands on; the core never includes Qt.
bash scripts/layering-check.sh

# Fuzz targets need clang's libFuzzer; a short run of each belongs to every test pass.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DQUORVANE_GUI=OFF -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF \
  -DQUORVANE_FUZZ=ON -DQUORVANE_WERROR=ON
cmake --build build/fuzz -j "$jobs"
bash scripts/fuzz.sh build/fuzz "${QUORVANE_FUZZ_SECONDS:-20}"

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DQUORVANE_SANITIZE=ON -DQUORVANE_WERROR=ON -DQUORVANE_BENCH=ON
cmake --build build/test -j "$jobs"
cd build/test
ctest --output-on-failure -j "$jobs" --timeout 600
