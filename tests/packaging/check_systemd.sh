#!/usr/bin/env bash
# The scheduled-export example: systemd accepts both units, and the service's command line,
# run against a database of the test's own, exports it.
#   check_systemd.sh UNIT_DIR QUORVANE_CLI
set -u
units=$1 cli=$2
if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|/usr/bin/quorvane-cli|$cli|" "$units/quorvane-export.service" >"$work/quorvane-export.service"
cp "$units/quorvane-export.timer" "$work/"
out=$(systemd-analyze verify --man=no "$work/quorvane-export.service" "$work/quorvane-export.timer" 2>&1)
if [[ $? -ne 0 || -n $out ]]; then
    echo "FAIL: systemd-analyze verify:"
    echo "$out"
    exit 1
fi

# ExecStart with the database and the credentials folder (%d) moved to the test's folder; the
# database exports to a local file there.
exec_start=$(sed -n 's/^ExecStart=//p' "$work/quorvane-export.service")
credential=$(sed -n 's/^LoadCredential=\([^:]*\):.*/\1/p' "$work/quorvane-export.service")
db=$(grep -o '/var/lib/quorvane/[^ ]*\.udx' <<<"$exec_start")
[[ -n $db && -n $credential ]] || { echo "FAIL: no database or credential in the service"; exit 1; }
[[ $exec_start == *"--server-password-file %d/$credential"* ]] ||
    { echo "FAIL: the service does not read the password from its credential"; exit 1; }
"$cli" create "$work/users.udx" || exit 1
printf 'pw\n' | "$cli" add "$work/users.udx" ann --password-stdin || exit 1
sed -i "s|PassFile = .*||; s|^  PassType = ptMD5|  PassType = ptPlainText\r\n  PassFile = '$work/htpasswd'|" "$work/users.udx"
mkdir -m 0700 "$work/credentials"
printf 'secret\n' >"$work/credentials/$credential"
chmod 0400 "$work/credentials/$credential"
command=${exec_start//$db/$work/users.udx}
command=${command//%d/$work/credentials}
if ! eval "$command" </dev/null; then
    echo "FAIL: the service's command failed: $command"
    exit 1
fi
if [[ $(cat "$work/htpasswd") != $'ann:pw\r' ]]; then
    echo "FAIL: the export wrote: $(od -c "$work/htpasswd")"
    exit 1
fi
echo "systemd example: units verified, command exported the database"
