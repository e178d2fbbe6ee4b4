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
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The compile commands with a unity build's batch files (CMake's Unity/unity_N_cxx.cxx) opened
# up: each source of a batch gets the batch's command and object, so that every source is
# checked, and found changed, as itself.
commands=$work/build_commands.json
python3 - "$build/compile_commands.json" "$commands" <<'PY'
import json, re, shlex, sys
entries, unity = [], re.compile(r"/Unity/unity_[0-9]+_cxx\.cxx$")
for entry in json.load(open(sys.argv[1])):
    if not unity.search(entry["file"]):
        entries.append(entry)
        continue
    batch = entry["file"]
    with open(batch) as f:
        members = re.findall(r'^#include "([^"]+)"', f.read(), re.M)
    for member in members:
        one = dict(entry, file=member)
        if "arguments" in one:
            one["arguments"] = [member if word == batch else word for word in one["arguments"]]
        else:
            one["command"] = shlex.join(member if word == batch else word
                                        for word in shlex.split(one["command"]))
        entries.append(one)
json.dump(entries, open(sys.argv[2], "w"), indent=1)
PY
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
  list=$work/changed
  todo=$work/todo
  printf '%s\n' "${changed[@]}" >"$list"
  python3 - "$build" "$PWD" "$list" "$commands" "${sources[@]}" >"$todo" <<'PY'
import json, os, shlex, subprocess, sys
build, root, wanted = sys.argv[1], sys.argv[2], set(sys.argv[5:])
changed = {os.path.realpath(os.path.join(root, line.strip()))
           for line in open(sys.argv[3]) if line.strip()}
objects = {}
for entry in json.load(open(sys.argv[4])):
    source = os.path.relpath(os.path.realpath(os.path.join(entry["directory"], entry["file"])), root)
    if source not in wanted:
        continue
    output = entry.get("output")
    if output is None:
        words = entry.get("arguments") or shlex.split(entry["command"])
        output = words[words.index("-o") + 1] if "-o" in words else None
    if output is not None:
        objects.setdefault(os.path.normpath(output), []).append(source)
picked = {s for s in wanted if os.path.realpath(os.path.join(root, s)) in changed}
deps = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True).stdout
current, unknown = None, {s for members in objects.values() for s in members}
for line in deps.splitlines():
    if line and not line[0].isspace():
        current = objects.get(os.path.normpath(line.split(":", 1)[0]))
        if current is not None:
            unknown.difference_update(current)
    elif current is not None and line.strip():
        if os.path.realpath(os.path.join(build, line.strip())) in changed:
            picked.update(current)
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
keys=$work/keys
todo=$work/todo
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
  echo "tidy check: needs clang-tidy (Debian's clang-tidy package)" >&2
  exit 1
fi
version=$("$tidy" --version)
python3 - "$build" "$PWD" "$keys" "$version" "$commands" "${sources[@]}" >"$todo.next" <<'PY'
import hashlib, json, os, shlex, subprocess, sys
build, root, keys_out, version, wanted = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[6:]
clean_dir = os.path.join(build, "tidy-clean")
entries = {}
for entry in json.load(open(sys.argv[5])):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    entries[os.path.relpath(path, root)] = entry
def object_of(entry):
    output = entry.get("output")
    if output is None:
        words = entry.get("arguments") or shlex.split(entry["command"])
        output = words[words.index("-o") + 1] if "-o" in words else None
    return None if output is None else os.path.normpath(output)
objects = {}
for s, e in entries.items():
    if s in wanted and object_of(e):
        objects.setdefault(object_of(e), []).append(s)
deps, current = {}, None
listing = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True).stdout
for line in listing.splitlines():
    if line and not line[0].isspace():
        name, _, state = line.partition(":")
        members = objects.get(os.path.normpath(name)) if state.rstrip().endswith("(VALID)") else None
        current = None
        if members is not None:
            current = []
            for member in members:
                deps[member] = current
    elif current is not None and line.strip():
        current.append(os.path.join(build, line.strip()))
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
mv "$todo.next" "$todo"
mapfile -t sources < <(grep -v "^$" "$todo" || true)
if ((${#sources[@]} > 0)); then
  # An unoptimised build compiles the sources with precompiled headers (QUORVANE_PCH), forced in
  # with -include (GCC's, which clang cannot read) or -include-pch (clang's); clang-tidy gets the
  # compile commands without them and checks each source with its own includes alone, as the
  # other builds compile it.
  db=$work/db
  mkdir "$db"
  # Many sources are checked in batches: up to eight sources of one library that share a compile
  # command, each batch one clang-tidy run over a file that includes them, as the unity builds
  # compile them, so that the headers they share are read and matched once rather than eight
  # times. A batch with a finding (or whose sources do not go together) is checked again source
  # by source, so that every finding is reported against its own source.
  python3 - "$commands" "$db" "$PWD" "${sources[@]}" <<'PY'
import json, os, re, shlex, sys
path, db, root, wanted = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
pch = re.compile(r" -Winvalid-pch| -Xclang -include-pch -Xclang \S+\.pch"
                 r"| (?:-Xclang )?-include (?:-Xclang )?\S*/cmake_pch\.hxx(?=\s|$)")
entries = json.load(open(path))
for entry in entries:
    if "arguments" in entry:
        entry["command"] = shlex.join(entry.pop("arguments"))
    entry["command"] = pch.sub("", entry["command"])
by_source = {}
for entry in entries:
    source = os.path.relpath(os.path.realpath(os.path.join(entry["directory"], entry["file"])), root)
    by_source.setdefault(source, entry)
groups = {}
singles = []
for source in wanted:
    entry = by_source.get(source)
    if entry is None:
        singles.append(source)
        continue
    words = shlex.split(entry["command"])
    if "-o" in words:
        i = words.index("-o")
        library = os.path.dirname(words[i + 1])
        del words[i:i + 2]
    else:
        library = ""
    words = [w for w in words if os.path.realpath(os.path.join(entry["directory"], w)) !=
             os.path.realpath(os.path.join(entry["directory"], entry["file"]))]
    groups.setdefault((entry["directory"], library, shlex.join(words)), []).append(source)
units = open(os.path.join(db, "units"), "w")
number = 0
batch_size = int(os.environ.get("QUORVANE_TIDY_BATCH", "32"))
for (directory, _, command), members in groups.items():
    if len(wanted) <= 8:
        singles += members
        continue
    count = -(-len(members) // batch_size)
    for number_in_group in range(count):
        batch = members[number_in_group::count]
        if len(batch) == 1:
            singles += batch
            continue
        number += 1
        name = os.path.join(db, "batch%d.cpp" % number)
        with open(name, "w") as out:
            for source in batch:
                out.write('#include "%s" // NOLINT(bugprone-suspicious-include)\n' %
                          os.path.join(root, source))
        with open(name + ".sources", "w") as out:
            out.write("\n".join(batch) + "\n")
        entries.append({"directory": directory, "file": name,
                        "command": "%s -o %s.o -c %s" % (command, name, name)})
        units.write(name + "\n")
for source in singles:
    units.write(os.path.join(root, source) + "\n")
json.dump(entries, open(os.path.join(db, "compile_commands.json"), "w"), indent=1)
PY
  # check UNITS-FILE: runs clang-tidy over each unit listed, as many at once as there are
  # cores; each unit's output goes to a log of its own and the units with findings to $db/failed.
  check() {
    : >"$db/failed"
    tr '\n' '\0' <"$1" | xargs -0 -r -P "$(nproc)" -n 1 bash -c '
      log="$2/log.$(printf %s "$4" | md5sum | cut -c1-16)"
      "$1" -quiet --config-file="$3/.clang-tidy" -p "$2" "$4" >"$log" 2>&1 || echo "$4" >>"$2/failed"
    ' check "$tidy" "$db" "$PWD"
  }
  check "$db/units"
  if [ -s "$db/failed" ]; then
    cp "$db/failed" "$db/again"
    : >"$db/retry"
    while read -r unit; do
      if [ -f "$unit.sources" ]; then sed "s|^|$PWD/|" "$unit.sources" >>"$db/retry"; fi
    done <"$db/again"
    echo "tidy check: $(grep -c '/batch[0-9]*\.cpp$' "$db/again" || true) batch(es) checked again unit by unit"
    grep -v '/batch[0-9]*\.cpp$' "$db/again" >"$db/findings" || true
    if [ -s "$db/retry" ]; then
      check "$db/retry"
      cat "$db/failed" >>"$db/findings"
    fi
    if [ -s "$db/findings" ]; then
      while read -r unit; do
        cat "$db/log.$(printf %s "$unit" | md5sum | cut -c1-16)"
      done <"$db/findings" >"$build/tidy.log"
      grep -E "(warning|error):" "$build/tidy.log" | sort -u >&2 || cat "$build/tidy.log" >&2
      echo "tidy check: findings above" >&2
      exit 1
    fi
  fi
  mkdir -p "$build/tidy-clean"
  while read -r key; do : >"$build/tidy-clean/$key"; done <"$keys"
fi
reused=$((picked - ${#sources[@]}))
if [ -n "$base" ]; then
  echo "tidy check: clean ($picked of $all files: those changed against main; $reused unchanged since found clean)"
else
  echo "tidy check: clean (all $all files; $reused unchanged since found clean)"
fi
