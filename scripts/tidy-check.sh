#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy, every finding an error) over the core and the
# command-line companion, with the compile commands of a configured build.
#   tidy-check.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: tidy-check.sh BUILD_DIR}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy check: $build/compile_commands.json is missing (configure the build first)" >&2
  exit 1
fi
runner=$(command -v run-clang-tidy-14 || command -v run-clang-tidy || true)
if [ -z "$runner" ]; then
  echo "tidy check: needs run-clang-tidy (Debian's clang-tidy package)" >&2
  exit 1
fi
mapfile -t sources < <(git ls-files 'src/base/*.cpp' 'src/userdb/*.cpp' 'src/export/*.cpp' \
  'src/ftp/*.cpp' 'src/sitedb/*.cpp' 'src/job/*.cpp' 'src/cli/*.cpp')
"$runner" -quiet -p "$build" -j "$(nproc)" "${sources[@]/#/$PWD/}" >"$build/tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/tidy.log" | sort -u >&2 || cat "$build/tidy.log" >&2
  echo "tidy check: findings above" >&2
  exit 1
}
echo "tidy check: clean (${#sources[@]} files)"
