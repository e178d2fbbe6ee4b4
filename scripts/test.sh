#!/usr/bin/env bash
# Sets up what is missing, checks the form of the sources, then makes four builds, each for one
# purpose, and runs what each is for:
#   build/fuzz     clang, libFuzzer, ASan and UBSan: the fuzz targets only, each run briefly over
#                  its seed corpus, two at a time.
#   build/release  the hardened release build a distribution makes: the programs and files the
#                  packaging tests put into the Debian package and hold to hardening-check.
#   build/tsan     ThreadSanitizer: the test programs of the threaded parts only (the upload
#                  worker, the parallel hash writer, the export job, reading in pieces), each made
#                  of the test sources holding its threaded cases and run for them, alongside the
#                  fuzz pass.
#   build/test     clang, Debug, ASan and UBSan: every test program (and the benchmarks, so that
#                  they keep building); then every test, and clang-tidy beside them.
# Warnings are errors in all four, and all four are unity builds. Every compile goes through
# ccache, kept in build/ccache (set CCACHE_DIR to share one elsewhere), so a second run rebuilds
# only what changed; in build/test every target uses precompiled headers as well.
# The builds made only to run tests link with lld.
# clang-tidy checks the translation units changed against main; QUORVANE_TIDY_ALL=1 checks all;
# either way a unit found clean before and unchanged since is not checked again.
# Each step's wall and CPU time is printed after it, and all of them at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/ccache}
# Paths below the checkout are hashed relative to it, so that a second clone can share the cache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-10G}
# The test programs and the desktop library use precompiled headers (QUORVANE_PCH); ccache
# caches a compile that makes or uses one only with these relaxations (its manual's advice for
# precompiled headers; nothing here uses __DATE__ or __TIME__).
export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The builds made only to run tests link with LLVM's lld, about twice as fast as GNU ld on
# their sanitized, debug-information-laden programs; the release build keeps the distribution's
# linker, since its package is what gets checked.
lld=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
# Every build compiles its sources in batches of eight, one compiler run per batch, so that each
# header is read, and each inline function and template it holds compiled, once per batch rather
# than once per source: this takes about a third off the unoptimised, sanitized test build. A
# debugger still shows each source as itself; the few sources whose file-local names clash with a
# neighbour's are compiled on their own (SKIP_UNITY_BUILD_INCLUSION).
unity=(-DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=8)

# step NAME COMMAND...: runs the command and notes its wall time and the CPU time (user and
# system, of all its processes) it took.
summary=()
cpu_so_far() { # sets cpu to the CPU seconds of this shell's finished children (not in a subshell)
  local children
  times >"$scratch/times"
  { read -r _; read -r children; } <"$scratch/times"
  cpu=$(awk '{ t = 0; for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] }
    printf "%.2f", t }' <<<"$children")
}
step() {
  local name=$1 start=$SECONDS cpu before line
  shift
  cpu_so_far
  before=$cpu
  "$@"
  cpu_so_far
  line=$(printf '%-18s %5d s wall %7.0f s CPU' "$name" $((SECONDS - start)) \
    "$(awk -v a="$cpu" -v b="$before" 'BEGIN { print a - b }')")
  echo "time: $line"
  summary+=("$line")
}
scratch=$(mktemp -d)
tsan=
tidy=
trap '[ -z "$tsan" ] || kill "$tsan" 2>/dev/null; [ -z "$tidy" ] || kill "$tidy" 2>/dev/null
  rm -rf "$scratch"' EXIT

# Every C++ source follows .clang-format.
step "format check" bash scripts/format-check.sh
# Every library includes only the libraries it stands on; the core never includes Qt.
step "layering check" bash scripts/layering-check.sh

# The four builds are configured side by side (each configure runs on one core); a failing
# one's output is shown.
# - fuzz: clang's libFuzzer; a short run of each fuzz target belongs to every test pass. Line
#   tables are all the debug information a crash's stack needs; -O1, the level libFuzzer's users
#   commonly build at, compiles faster than -O2.
# - release: the release build a distribution would make (its hardening flags included): the
#   packaging tests build the Debian package from it and check its programs with
#   hardening-check. Without tests and benchmarks, it builds what the package holds.
# - tsan: the threaded parts of the core under ThreadSanitizer: the test programs that hold them,
#   each run for its threaded cases (the "threads" entries of tests/CMakeLists.txt). Line tables
#   and function names (-g1) are all the debug information its reports need; -O1, a level
#   ThreadSanitizer's manual suggests, compiles a fifth faster than -O2, and its cases wait on
#   their servers rather than on the processor.
# - test: clang, Debug, AddressSanitizer and UndefinedBehaviorSanitizer, every test program.
#   clang compiles these sanitized, unoptimised sources in about half GCC's time (the release
#   build keeps the distribution's compiler; the ThreadSanitizer build stays with GCC, where
#   clang is no faster). The core, the command-line companion and the benchmarks share one
#   precompiled header of standard headers, the test programs and the desktop library theirs
#   (QUORVANE_PCH).
configure() { # configure NAME CMAKE-ARGUMENTS...: configures build/NAME
  local name=$1
  shift
  cmake -S . -B "build/$name" -G Ninja "${launcher[@]}" "$@" >"$scratch/configure-$name.log" 2>&1 ||
    { cat "$scratch/configure-$name.log"; echo "configuring build/$name failed" >&2; return 1; }
}
configure_all() {
  local pids=() pid status=0
  configure fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo "${unity[@]}" "${lld[@]}" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORVANE_GUI=OFF -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF \
    -DQUORVANE_FUZZ=ON -DQUORVANE_WERROR=ON &
  pids+=($!)
  configure release -DCMAKE_BUILD_TYPE=Release "${unity[@]}" -DQUORVANE_TESTS=OFF \
    -DQUORVANE_BENCH=OFF -DQUORVANE_WERROR=ON &
  pids+=($!)
  configure tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${unity[@]}" "${lld[@]}" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DQUORVANE_GUI=OFF -DQUORVANE_BENCH=OFF -DQUORVANE_TSAN=ON -DQUORVANE_WERROR=ON &
  pids+=($!)
  configure test -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ "${unity[@]}" "${lld[@]}" \
    -DQUORVANE_SANITIZE=ON -DQUORVANE_WERROR=ON \
    -DQUORVANE_BENCH=ON -DQUORVANE_PACKAGE_BUILD_DIR="$PWD/build/release" &
  pids+=($!)
  for pid in "${pids[@]}"; do
    wait "$pid" || status=1
  done
  return "$status"
}
step "configure" configure_all

step "fuzz build" cmake --build build/fuzz -j "$jobs" --target quorvane_fuzzers

step "release build" cmake --build build/release -j "$jobs"

step "tsan build" cmake --build build/tsan -j "$jobs" --target test_ftp test_export test_job test_userdb
# The threaded cases mostly wait on their servers (a fifth of a core), so they run while the fuzz
# targets, each on one core and for a fixed time, run two at a time; their output follows.
env -C build/tsan TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -j "$jobs" --no-tests=error -L '^threads$' >"$scratch/tsan.log" 2>&1 &
tsan=$!
step "fuzz pass" bash scripts/fuzz.sh build/fuzz "${QUORVANE_FUZZ_SECONDS:-20}" "$jobs"
tsan_result() {
  local status=0
  wait "$tsan" || status=$?
  tsan=
  cat "$scratch/tsan.log"
  return "$status"
}
step "tsan tests" tsan_result

step "test build" cmake --build build/test -j "$jobs"
# clang-tidy over the core and the command-line companion (every finding an error) runs beside
# the tests: they mostly wait on their servers, and clang-tidy takes the cores they leave, at a
# lower priority so that it never holds up a server's answer. Its output follows the tests';
# either failing fails the run. Its own time is noted as well, from inside its subshell.
tidy_and_tests() {
  local tidy_status=0 tests_status=0 tidy_cpu
  (
    start=$SECONDS
    status=0
    nice -n 10 bash scripts/tidy-check.sh build/test || status=$?
    times >"$scratch/tidy.times"
    echo $((SECONDS - start)) >"$scratch/tidy.wall"
    exit "$status"
  ) >"$scratch/tidy.log" 2>&1 &
  tidy=$!
  env -C build/test ctest --output-on-failure -j "$jobs" --no-tests=error || tests_status=$?
  wait "$tidy" || tidy_status=$?
  tidy=
  echo "clang-tidy:"
  cat "$scratch/tidy.log"
  if [ -f "$scratch/tidy.times" ]; then
    tidy_cpu=$(sed -n 2p "$scratch/tidy.times" | awk '{ t = 0; for (i = 1; i <= 2; i++) {
      split($i, p, /[ms]/); t += p[1] * 60 + p[2] } printf "%.0f", t }')
    tidy_line=$(printf '%-18s %5d s wall %7.0f s CPU' "  clang-tidy" "$(cat "$scratch/tidy.wall")" "$tidy_cpu")
  fi
  ((tests_status == 0)) || echo "tests failed" >&2
  ((tidy_status == 0)) || echo "clang-tidy failed" >&2
  ((tests_status == 0 && tidy_status == 0))
}
tidy_line=
step "tidy and tests" tidy_and_tests
[ -z "$tidy_line" ] || { echo "time: $tidy_line"; summary+=("$tidy_line"); }
printf 'time: %s\n' "${summary[@]}"
