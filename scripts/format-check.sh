#!/usr/bin/env bash
# Fails when a C++ source differs from the project's .clang-format. The layout a formatter
# produces changes between its major versions, so the check uses exactly the one the sources
# were formatted with.
set -euo pipefail
cd "$(dirname "$0")/.."
required_major=14
formatter=
for candidate in "clang-format-$required_major" clang-format; do
  if command -v "$candidate" >/dev/null &&
     [[ "$("$candidate" --version)" =~ version\ ${required_major}\. ]]; then
    formatter=$candidate
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "format check: needs clang-format $required_major (found: $(clang-format --version 2>/dev/null || echo none))" >&2
  exit 1
fi
git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
  'fuzz/*.cpp' 'fuzz/*.h' | xargs -0 -r "$formatter" --dry-run -Werror
echo "format check: clean ($formatter $required_major)"
