#!/usr/bin/env bash
# The AppStream description: the installed one (no homepage) and one made for a published
# homepage with an id of its own both pass appstreamcli's checks, pedantic ones included (the
# default id under the reserved domain "invalid" draws the one remark that it is no registered
# domain, which is what it says); every screenshot it names is one of docs/screenshots; every
# release of the changelog is in its history.
#   check_appstream.sh METAINFO_PY TEMPLATE CHANGELOG BUILT_METAINFO ID SCREENSHOT_DIR
set -u
script=$1 template=$2 changelog=$3 built=$4 id=$5 shots=$6
if ! command -v appstreamcli >/dev/null; then
    echo "SKIP: appstreamcli is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$script" "$template" "$changelog" "$work/published.xml" net.example.quorvane \
    "https://quorvane.test/" || exit 1
grep -q "<id>$id</id>" "$built" || { echo "FAIL: $built does not carry the id $id"; exit 1; }
status=0
for file in "$built" "$work/published.xml"; do
    if ! out=$(appstreamcli validate --no-net --pedantic "$file" 2>&1) ||
        grep '^[EWIP]: ' <<<"$out" | grep -qv "^I: invalid\\.[^ ]*: cid-maybe-not-rdns "; then
        echo "FAIL: appstreamcli validate $file:"
        echo "$out"
        status=1
    fi
done
grep -q '<screenshot' "$built" && { echo "FAIL: screenshots without a homepage"; status=1; }
images=$(sed -n 's|.*<image>https://quorvane.test/screenshots/\(.*\)</image>.*|\1|p' "$work/published.xml")
[[ -n $images ]] || { echo "FAIL: no screenshots with a homepage"; status=1; }
for image in $images; do
    [[ -f $shots/$image ]] || { echo "FAIL: screenshot $image is not in docs/screenshots"; status=1; }
done
for version in $(sed -n 's/^quorvane (\([^)]*\)).*/\1/p' "$changelog"); do
    grep -q "<release version=\"$version\"" "$built" ||
        { echo "FAIL: release $version of the changelog is not in the history"; status=1; }
done
((status == 0)) && echo "AppStream description valid, with and without a homepage"
exit $status
