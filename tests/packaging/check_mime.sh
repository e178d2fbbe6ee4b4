#!/usr/bin/env bash
# The .udx MIME type matches by extension and, for a database without it, by content.
#   check_mime.sh MIME_XML SAMPLE_DATABASE
set -u
xml=$1 sample=$2
for tool in update-mime-database gio; do
    if ! command -v $tool >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/share/mime/packages" "$work/files"
cp "$xml" "$work/share/mime/packages/quorvane.xml"
update-mime-database "$work/share/mime" >/dev/null 2>&1 || { echo "FAIL: update-mime-database"; exit 1; }
cp "$sample" "$work/files/users.udx"
cp "$sample" "$work/files/users-backup"
printf 'object TUserListing\r\nend\r\n' >"$work/files/lookalike.udx.txt"
printf 'not a database\n' >"$work/files/notes"
# An encrypted database: the magic, a header and sealed bytes.
{ printf '\x89QVDB\r\n\x1a\x01\x00\x00\x00'; head -c 200 /dev/urandom; } >"$work/files/sealed.udx"
cp "$work/files/sealed.udx" "$work/files/sealed-backup"

type_of() {
    XDG_DATA_HOME="$work/share" XDG_DATA_DIRS="$work/share:/usr/share" \
        gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/.*standard::content-type: //p'
}
failures=0
check() {
    local got
    got=$(type_of "$work/files/$1")
    if [[ $got != "$2" ]]; then
        echo "FAIL: $1 is $got, expected $2"
        failures=$((failures + 1))
    fi
}
check users.udx application/x-quorvane-udx
check users-backup application/x-quorvane-udx
check sealed.udx application/x-quorvane-udx
check sealed-backup application/x-quorvane-udx
check notes text/plain
check lookalike.udx.txt text/plain
exit $((failures > 0))
