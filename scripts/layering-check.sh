#!/usr/bin/env bash
# Checks that every library under src/ includes only the libraries it stands on, by name
# ("base/Errors.h"), and that the core never includes Qt. Prints each offending line.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [base]="base"
  [userdb]="base userdb"
  [export]="base userdb export"
  [ftp]="base userdb ftp"
  [sitedb]="base sitedb"
  [job]="base userdb export ftp sitedb job"
  [cli]="base userdb export ftp sitedb job cli"
  [persist]="base userdb persist"
  [ui]="base userdb export ftp sitedb job persist ui"
  [app]="base userdb export ftp sitedb job persist ui app"
)
core="base userdb export ftp sitedb job cli"

status=0
for dir in src/*/; do
  lib=$(basename "$dir")
  if [ -z "${allowed[$lib]+set}" ]; then
    echo "src/$lib: a library the layering check does not know; add it to scripts/layering-check.sh"
    status=1
    continue
  fi
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    text=${rest#*:}
    if [[ $text =~ \#[[:space:]]*include[[:space:]]+\"([^\"]+)\" ]]; then
      target=${BASH_REMATCH[1]}
      if [[ $target != */* ]]; then
        case $target in
          *.inc) continue ;;
        esac
        echo "$file:$line: include \"$target\" without its library"
        status=1
        continue
      fi
      dep=${target%%/*}
      if [[ " ${allowed[$lib]} " != *" $dep "* ]]; then
        echo "$file:$line: $lib may not include $dep ($target)"
        status=1
      fi
    elif [[ " $core " == *" $lib "* && $text =~ \#[[:space:]]*include[[:space:]]+\<Q ]]; then
      echo "$file:$line: the core may not include Qt"
      status=1
    fi
  done < <(grep -n -H '^[[:space:]]*#[[:space:]]*include' "$dir"*.h "$dir"*.cpp 2>/dev/null || true)
done
exit $status
