#!/usr/bin/env bash
# Builds the Debian package from the build tree with cpack and has lintian check it: not one
# error or warning may remain.
#   check_deb.sh BUILD_DIR SCRATCH
set -u
build=$1 scratch=$2
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
rm -rf "$scratch"
echo "lintian: no errors, no warnings"
