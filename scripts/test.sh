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

# The release build a distribution would make (its hardening flags included): the packaging
# tests build the Debian package from it and check its programs with hardening-check.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF \
  -DQUORVANE_BENCH=OFF -DQUORVANE_WERROR=ON
cmake --build build/release -j "$jobs"

# The threaded parts of the core (the upload worker, the parallel hash writer, the export job
# waiting for its upload) under ThreadSanitizer.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_GUI=OFF \
  -DQUORVANE_BENCH=OFF -DQUORVANE_TSAN=ON -DQUORVANE_WERROR=ON
cmake --build build/tsan -j "$jobs" --target test_ftp test_export test_job test_userdb
(cd build/tsan &&
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -j "$jobs" --timeout 600 --no-tests=error \
    -R '^(ftp\.(FtpUpload|PassiveAndActive|.*Abort)|job\.|export\..*(Workers|Threads)|userdb\.SaveLoad\.(ReadInPieces|OneUserAtATime))')

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DQUORVANE_SANITIZE=ON -DQUORVANE_WERROR=ON -DQUORVANE_BENCH=ON \
  -DQUORVANE_PACKAGE_BUILD_DIR="$PWD/build/release"
cmake --build build/test -j "$jobs"
# clang-tidy over the core and the command-line companion, every finding an error.
bash scripts/tidy-check.sh build/test
cd build/test
ctest --output-on-failure -j "$jobs" --timeout 600
