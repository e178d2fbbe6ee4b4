#!/usr/bin/env bash
# The manual pages render without a single warning at 80 columns.
#   check_manpages.sh PAGE...
set -u
if ! command -v man >/dev/null; then
    echo "SKIP: man is not installed"
    exit 77
fi
failures=0
for page in "$@"; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [[ -n $warnings ]]; then
        echo "FAIL: $page renders with warnings:"
        echo "$warnings"
        failures=$((failures + 1))
    fi
    lines=$(MANWIDTH=80 man -l "$page" 2>/dev/null | wc -l)
    if ((lines < 20)); then
        echo "FAIL: $page renders to $lines lines only"
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
