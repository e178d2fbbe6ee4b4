#!/usr/bin/env bash
# quorvane-cli(1) describes every command the program lists and every option of its usage lines.
#   check_manpage_complete.sh QUORVANE_CLI PAGE
set -u
cli=$1 page=$2
failures=0
commands=$("$cli" --help | sed -n '/^commands:/,/^$/{s/^  \([a-z][a-z-]*\) .*/\1/p}')
[[ -n $commands ]] || { echo "FAIL: no commands in the overview"; exit 1; }
for command in $commands; do
    # Each command has an entry of its own: a line ".B command ..." (or .BI, .BR) (or .BI, .BR).
    name=${command//-/\\\\-}
    if ! grep -qE "^\.B[IR]? ${name}( |$)" "$page"; then
        echo "FAIL: the manual has no entry for \"$command\""
        failures=$((failures + 1))
    fi
    usage=$("$cli" help "$command" | head -1)
    for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$usage" | sort -u); do
        roff=${option//-/\\-}
        if ! grep -qF -- "$roff" "$page"; then
            echo "FAIL: the manual does not mention $option of \"$command\""
            failures=$((failures + 1))
        fi
    done
done
exit $((failures > 0))
