#!/usr/bin/env bash
# The scheduled-export example: systemd accepts both units, rates the service's sandbox below 3
# ("OK"), and the service's command line, run with the service's umask against a database of the
# test's own, exports it in a form the web server can read: a new file 0644, an existing file
# with the mode it had. Where systemd runs the machine, the command also runs in the service's
# sandbox (systemd-run with the unit's [Service] settings).
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

# The sandbox's rating: systemd calls below 2 "OK", below 5 "medium", above that "exposed".
rating=$(systemd-analyze security --offline=true --no-pager "$work/quorvane-export.service" 2>&1 |
         sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
if [[ -z $rating ]] || ! awk -v r="$rating" 'BEGIN { exit !(r < 3) }'; then
    echo "FAIL: systemd-analyze security rates the service ${rating:-unreadable}, not below 3"
    exit 1
fi
echo "sandbox exposure: $rating"

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
unit_umask=$(sed -n 's/^UMask=//p' "$work/quorvane-export.service")
[[ -n $unit_umask ]] || { echo "FAIL: the service sets no UMask"; exit 1; }
export_once() {
    if ! (umask "$unit_umask" && eval "$command" </dev/null); then
        echo "FAIL: the service's command failed: $command"
        exit 1
    fi
    if [[ $(cat "$work/htpasswd") != $'ann:pw\r' ]]; then
        echo "FAIL: the export wrote: $(od -c "$work/htpasswd")"
        exit 1
    fi
}
# A new password file must be readable by the web server's user; an existing one keeps its mode.
export_once
mode=$(stat -c %a "$work/htpasswd")
[[ $mode == 644 ]] || { echo "FAIL: a new password file got mode $mode, not 644"; exit 1; }
chmod 0640 "$work/htpasswd"
export_once
mode=$(stat -c %a "$work/htpasswd")
[[ $mode == 640 ]] || { echo "FAIL: the export changed an existing file's mode to $mode"; exit 1; }

# An encrypted database, set up as the service file says: the second credential (its commented
# LoadCredential= line, uncommented) and --master-password-file %d/CREDENTIAL added to ExecStart.
master=$(sed -n 's/^#LoadCredential=\([^:]*\):.*/\1/p' "$work/quorvane-export.service")
[[ -n $master ]] || { echo "FAIL: the service shows no credential for a master password"; exit 1; }
grep -qF -- "--master-password-file %d/$master" "$work/quorvane-export.service" ||
    { echo "FAIL: the service does not say how ExecStart reads the master password"; exit 1; }
printf 'the master password\n' >"$work/credentials/$master"
chmod 0400 "$work/credentials/$master"
"$cli" encrypt "$work/users.udx" --master-password-file "$work/credentials/$master" || exit 1
rm -f "$work/htpasswd"
command_plain=$command
command="$command --master-password-file $work/credentials/$master"
export_once
if (umask "$unit_umask" && eval "$command_plain" </dev/null 2>/dev/null); then
    echo "FAIL: the encrypted database was exported without its master password"
    exit 1
fi
"$cli" decrypt "$work/users.udx" --master-password-file "$work/credentials/$master" || exit 1
command=$command_plain

# In the service's own sandbox, where systemd runs the machine: the [Service] settings of the
# unit as properties of a transient service, the folder of the test as its writable path.
if [[ $(ps -p 1 -o comm= 2>/dev/null) == systemd ]] && command -v systemd-run >/dev/null; then
    rm -f "$work/htpasswd"
    chmod 0755 "$work"
    properties=()
    while IFS= read -r line; do
        case $line in
        ''|'#'*|'['*|Type=*|ExecStart=*|LoadCredential=*|User=*|ReadWritePaths=*) ;;
        *) properties+=(-p "$line") ;;
        esac
    done <"$work/quorvane-export.service"
    sandboxed=${command//$work\/credentials/%d}
    if ! systemd-run --quiet --wait --pipe --collect "${properties[@]}" \
            -p "ReadWritePaths=$work" -p "LoadCredential=$credential:$work/credentials/$credential" \
            /bin/sh -c "$sandboxed" </dev/null; then
        echo "FAIL: the command failed in the service's sandbox"
        exit 1
    fi
    [[ $(cat "$work/htpasswd") == $'ann:pw\r' ]] ||
        { echo "FAIL: in the sandbox the export wrote: $(od -c "$work/htpasswd")"; exit 1; }
    echo "the export works in the service's sandbox"
else
    echo "systemd does not run this machine: the sandboxed run is left out"
fi
echo "systemd example: units verified, command exported the database"
