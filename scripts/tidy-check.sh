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
  todo=$(mktemp)
  trap 'rm -f "$list" "$todo"' EXIT
  printf '%s\n' "${changed[@]}" >"$list"
  python3 - "$build" "$PWD" "$list" "${sources[@]}" >"$todo" <<'PY'
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
  mapfile -t sources < <(grep -v "^$" "$todo" || true)
  if ((${#sources[@]} == 0)); then
    echo "tidy check: no translation unit changed against main (QUORVANE_TIDY_ALL=1 checks all $all)"
    exit 0
  fi
fi

# A translation unit found clean before is not checked again while nothing it is made of has
# changed: clang-tidy's version, the checks, its compile command, and the bytes of its source and
# of every file it includes (the build's dependency records, system headers among them). Its key
# is the hash of all of these; $build/tidy-clean holds the keys of the clean ones. A unit without
# a current dependency record (not built, or changed since) is checked and its result not kept.
picked=${#sources[@]}
keys=$(mktemp)
todo=${todo:-$(mktemp)}
trap 'rm -f "${list:-}" "$todo" "$keys"' EXIT
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
  echo "tidy check: needs clang-tidy (Debian's clang-tidy package)" >&2
  exit 1
fi
version=$("$tidy" --version)
python3 - "$build" "$PWD" "$keys" "$version" "${sources[@]}" >"$todo" <<'PY'
import hashlib, json, os, shlex, subprocess, sys
build, root, keys_out, version, wanted = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
clean_dir = os.path.join(build, "tidy-clean")
entries = {}
for entry in json.load(open(os.path.join(build, "compile_commands.json"))):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    entries[os.path.relpath(path, root)] = entry
def object_of(entry):
    output = entry.get("output")
    if output is None:
        words = entry.get("arguments") or shlex.split(entry["command"])
        output = words[words.index("-o") + 1] if "-o" in words else None
    return None if output is None else os.path.normpath(output)
objects = {object_of(e): s for s, e in entries.items() if s in wanted and object_of(e)}
deps, current = {}, None
listing = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True).stdout
for line in listing.splitlines():
    if line and not line[0].isspace():
        name, _, state = line.partition(":")
        current = objects.get(os.path.normpath(name)) if state.rstrip().endswith("(VALID)") else None
        if current is not None:
            deps[current] = []
    elif current is not None and line.strip():
        deps[current].append(os.path.join(build, line.strip()))
digests = {}
def digest(path):
    if path not in digests:
        try:
            with open(path, "rb") as f:
                digests[path] = hashlib.sha256(f.read()).hexdigest()
        except OSError:
            digests[path] = "missing"
    return digests[path]
with open(os.path.join(root, ".clang-tidy"), "rb") as f:
    config = f.read()
with open(keys_out, "w") as out:
    for source in wanted:
        entry = entries.get(source)
        if entry is None or source not in deps:
            print(source)
            continue
        # A record older than a file it names may miss an include added since: check, keep no key.
        try:
            built = os.stat(os.path.join(entry["directory"], object_of(entry))).st_mtime
            stale = any(os.stat(path).st_mtime > built for path in [os.path.join(root, source)] + deps[source])
        except OSError:
            stale = True
        if stale:
            print(source)
            continue
        h = hashlib.sha256()
        h.update(version.encode() + b"\0" + config + b"\0")
        h.update(json.dumps(entry, sort_keys=True).encode() + b"\0")
        for path in [os.path.join(root, source)] + deps[source]:
            h.update(os.path.realpath(path).encode() + b"\0" + digest(path).encode() + b"\0")
        key = h.hexdigest()
        if not os.path.exists(os.path.join(clean_dir, key)):
            print(source)
            out.write(key + "\n")
PY
mapfile -t sources < <(grep -v "^$" "$todo" || true)
if ((${#sources[@]} > 0)); then
  # An unoptimised build compiles the sources with GCC's precompiled headers (QUORVANE_PCH),
  # forced in with -include; clang cannot read GCC's, so clang-tidy gets the compile commands
  # without them and checks each source with its own includes alone, as the other builds
  # compile it.
  db=$(mktemp -d)
  trap 'rm -rf "${list:-}" "$todo" "$keys" "$db"' EXIT
  python3 - "$build/compile_commands.json" >"$db/compile_commands.json" <<'PY'
import json, re, sys
pch = re.compile(r" -Winvalid-pch| -include \S*/cmake_pch\.hxx(?=\s|$)")
entries = json.load(open(sys.argv[1]))
for entry in entries:
    if "command" in entry:
        entry["command"] = pch.sub("", entry["command"])
    if "arguments" in entry:
        words, kept = entry["arguments"], []
        i = 0
        while i < len(words):
            if words[i] == "-Winvalid-pch":
                i += 1
            elif words[i] == "-include" and i + 1 < len(words) and words[i + 1].endswith("/cmake_pch.hxx"):
                i += 2
            else:
                kept.append(words[i])
                i += 1
        entry["arguments"] = kept
json.dump(entries, sys.stdout, indent=1)
PY
  "$runner" -clang-tidy-binary "$tidy" -quiet -p "$db" -j "$(nproc)" "${sources[@]/#/$PWD/}" >"$build/tidy.log" 2>&1 || {
    grep -E "(warning|error):" "$build/tidy.log" | sort -u >&2 || cat "$build/tidy.log" >&2
    echo "tidy check: findings above" >&2
    exit 1
  }
  mkdir -p "$build/tidy-clean"
  while read -r key; do : >"$build/tidy-clean/$key"; done <"$keys"
fi
reused=$((picked - ${#sources[@]}))
if [ -n "$base" ]; then
  echo "tidy check: clean ($picked of $all files: those changed against main; $reused unchanged since found clean)"
else
  echo "tidy check: clean (all $all files; $reused unchanged since found clean)"
fi
