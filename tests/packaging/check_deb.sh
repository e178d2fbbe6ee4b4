#!/usr/bin/env bash
# Builds the Debian package from the build tree with cpack and has lintian check it: not one
# error or warning may remain. With "hardened", every program the package installs must also
# pass hardening-check (PIE, stack protector, fortified functions, RELRO, BIND_NOW).
#   check_deb.sh BUILD_DIR SCRATCH [hardened]
set -u
build=$1 scratch=$2 hardened=${3:-}
if ! command -v lintian >/dev/null; then
    echo "SKIP: lintian is not installed"
    exit 77
fi
rm -rf "$scratch"
mkdir -p "$scratch"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
deb=$(ls "$scratch"/*.deb)
echo "built $deb"
# Running as root only earns a note from lintian; every tag of the package counts.
report=$(lintian --fail-on error,warning --display-level '>=warning' "$deb" 2>&1)
status=$?
echo "$report"
if ((status != 0)) || grep -q '^[EW]: ' <<<"$report"; then
    echo "FAIL: lintian reports errors or warnings"
    exit 1
fi
echo "lintian: no errors, no warnings"
if [ "$hardened" = hardened ]; then
    if ! command -v hardening-check >/dev/null; then
        echo "FAIL: hardening-check (devscripts) is not installed"
        exit 1
    fi
    dpkg-deb -x "$deb" "$scratch/root"
    programs=()
    while IFS= read -r -d '' file; do
        if [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ]; then
            programs+=("$file")
        fi
    done < <(find "$scratch/root/usr" -type f \( -perm -u+x -o -name '*.so' \) -print0)
    if ((${#programs[@]} < 2)); then
        echo "FAIL: the package holds ${#programs[@]} programs, expected quorvane and quorvane-cli"
        exit 1
    fi
    # The plugins the programs load are held to the same (hardening-check skips the PIE test of
    # a shared object). Debian 12's C start-up files carry no control-flow protection, so no
    # program linked against them can; every other feature is required.
    if ! hardening-check --nocfprotection "${programs[@]}"; then
        echo "FAIL: hardening-check"
        exit 1
    fi
fi
rm -rf "$scratch"
