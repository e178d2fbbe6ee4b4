#!/usr/bin/env bash
# Fails when a C++ source differs from the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
  'fuzz/*.cpp' 'fuzz/*.h' | xargs -0 -r clang-format --dry-run -Werror
echo "format check: clean"
