#!/usr/bin/env bash
# Sets up what is missing, checks the form of the sources, then makes four builds, each for one
# purpose, and runs what each is for:
#   build/fuzz     clang, libFuzzer, ASan and UBSan: the fuzz targets only, each run briefly over
#                  its seed corpus.
#   build/release  the hardened release build a distribution makes: the programs and files the
#                  packaging tests put into the Debian package and hold to hardening-check.
#   build/tsan     ThreadSanitizer: the test programs of the threaded parts only (the upload
#                  worker, the parallel hash writer, the export job, reading in pieces), each run
#                  for its threaded cases.
#   build/test     Debug, ASan and UBSan: every test program (and the benchmarks, so that they keep
#                  building); clang-tidy; then every test.
# Warnings are errors in all four. Every compile goes through ccache, kept in build/ccache (set
# CCACHE_DIR to share one elsewhere), so a second run rebuilds only what changed.
# clang-tidy checks the translation units changed against main; QUORVANE_TIDY_ALL=1 checks all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/ccache}
# Paths below the checkout are hashed relative to it, so that a second clone can share the cache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-10G}
launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Every C++ source follows .clang-format.
bash scripts/format-check.sh
# Every library includes only the libraries it stands on; the core never includes Qt.
bash scripts/layering-check.sh

# Fuzz targets need clang's libFuzzer; a short run of each belongs to every test pass.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_CXX_COMPILER=clang++ -DQUORVANE_GUI=OFF -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF \
  -DQUORVANE_FUZZ=ON -DQUORVANE_WERROR=ON
cmake --build build/fuzz -j "$jobs" --target quorvane_fuzzers
bash scripts/fuzz.sh build/fuzz "${QUORVANE_FUZZ_SECONDS:-20}"

# The release build a distribution would make (its hardening flags included): the packaging
# tests build the Debian package from it and check its programs with hardening-check. Without
# tests and benchmarks, it builds what the package holds.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF -DQUORVANE_WERROR=ON
cmake --build build/release -j "$jobs"

# The threaded parts of the core under ThreadSanitizer: the test programs that hold them, each
# run for its threaded cases (the "threads" entries of tests/CMakeLists.txt).
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DQUORVANE_GUI=OFF -DQUORVANE_BENCH=OFF -DQUORVANE_TSAN=ON -DQUORVANE_WERROR=ON
cmake --build build/tsan -j "$jobs" --target test_ftp test_export test_job test_userdb
(cd build/tsan &&
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -j "$jobs" --no-tests=error -L '^threads$')

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
  -DQUORVANE_SANITIZE=ON -DQUORVANE_WERROR=ON -DQUORVANE_BENCH=ON \
  -DQUORVANE_PACKAGE_BUILD_DIR="$PWD/build/release"
cmake --build build/test -j "$jobs"
# clang-tidy over the core and the command-line companion, every finding an error.
bash scripts/tidy-check.sh build/test
cd build/test
ctest --output-on-failure -j "$jobs" --no-tests=error
