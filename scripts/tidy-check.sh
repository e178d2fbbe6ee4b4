#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy, every finding an error) over the core and the
# command-line companion, with the compile commands of a configured and built build:
#   tidy-check.sh BUILD_DIR
# Only the translation units a change touches are checked: those whose source, or any project
# header they include (as the build's own dependency records have it), differs from where the
# branch left main (committed or not). QUORVANE_TIDY_ALL=1 checks every one, as does a change to
# the checks themselves, or a checkout without a main branch to compare with.
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
all=${#sources[@]}

base=
if [ "${QUORVANE_TIDY_ALL:-0}" != 1 ]; then
  for ref in main origin/main; do
    if git rev-parse -q --verify "$ref^{commit}" >/dev/null; then
      base=$(git merge-base HEAD "$ref") && break
    fi
  done
fi
if [ -n "$base" ]; then
  mapfile -t changed < <({ git diff --name-only "$base" --; git ls-files --others --exclude-standard; } |
    sort -u)
  if printf '%s\n' "${changed[@]}" | grep -qxE '\.clang-tidy|scripts/tidy-check\.sh'; then
    base=
  fi
fi
if [ -n "$base" ]; then
  # The sources among those above that changed, or include (at any depth) a file that changed.
  list=$(mktemp)
  trap 'rm -f "$list"' EXIT
  printf '%s\n' "${changed[@]}" >"$list"
  mapfile -t sources < <(python3 - "$build" "$PWD" "$list" "${sources[@]}" <<'PY'
import json, os, shlex, subprocess, sys
build, root, wanted = sys.argv[1], sys.argv[2], set(sys.argv[4:])
changed = {os.path.realpath(os.path.join(root, line.strip()))
           for line in open(sys.argv[3]) if line.strip()}
objects = {}
for entry in json.load(open(os.path.join(build, "compile_commands.json"))):
    source = os.path.relpath(os.path.realpath(os.path.join(entry["directory"], entry["file"])), root)
    if source not in wanted:
        continue
    output = entry.get("output")
    if output is None:
        words = entry.get("arguments") or shlex.split(entry["command"])
        output = words[words.index("-o") + 1] if "-o" in words else None
    if output is not None:
        objects[os.path.normpath(output)] = source
picked = {s for s in wanted if os.path.realpath(os.path.join(root, s)) in changed}
deps = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True).stdout
current, unknown = None, set(objects.values())
for line in deps.splitlines():
    if line and not line[0].isspace():
        current = objects.get(os.path.normpath(line.split(":", 1)[0]))
        if current is not None:
            unknown.discard(current)
    elif current is not None and line.strip():
        if os.path.realpath(os.path.join(build, line.strip())) in changed:
            picked.add(current)
# Without a record of what a source includes (not built yet), it is checked.
picked |= unknown
print("\n".join(sorted(picked)))
PY
  )
  if ((${#sources[@]} == 0)); then
    echo "tidy check: no translation unit changed against main (QUORVANE_TIDY_ALL=1 checks all $all)"
    exit 0
  fi
fi
"$runner" -quiet -p "$build" -j "$(nproc)" "${sources[@]/#/$PWD/}" >"$build/tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/tidy.log" | sort -u >&2 || cat "$build/tidy.log" >&2
  echo "tidy check: findings above" >&2
  exit 1
}
if [ -n "$base" ]; then
  echo "tidy check: clean (${#sources[@]} of $all files: those changed against main)"
else
  echo "tidy check: clean (all $all files)"
fi
