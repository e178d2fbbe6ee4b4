#!/usr/bin/env bash
# The bash completion of quorvane-cli, sourced into bash and asked as the shell asks it.
#   check_completion.sh COMPLETION_SCRIPT QUORVANE_CLI
set -u
script=$1 cli=$2
bash_completion=/usr/share/bash-completion/bash_completion
if [[ ! -r $bash_completion ]]; then
    echo "SKIP: bash-completion is not installed"
    exit 77
fi
# shellcheck disable=SC1090
source "$bash_completion"
source "$script"
# As installed: the program is found on the path.
PATH=$(dirname "$cli"):$PATH

failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
"$cli" create users.udx
for login in alice albert bob; do
    printf 'pw\n' | "$cli" add users.udx "$login" --password-stdin
done
mkdir folder
touch other.udx notes.txt folder/inner.udx

# complete LINE -> the sorted candidates, one per line
complete_line() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    read -r -a COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quorvane_cli quorvane-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {
    local line=$1 expected
    expected=$(printf '%s\n' "${@:2}" | sort)
    local got
    got=$(complete_line "$line")
    if [[ $got != "$expected" ]]; then
        echo "FAIL: \"$line\""
        echo "  expected: $(echo $expected)"
        echo "  got:      $(echo $got)"
        failures=$((failures + 1))
    fi
}

# contains LINE WORD...: every WORD is among the candidates
contains() {
    local line=$1 got w
    got=$(complete_line "$line")
    for w in "${@:2}"; do
        if ! grep -qxF -- "$w" <<<"$got"; then
            echo "FAIL: \"$line\" does not offer $w (got: $(echo $got))"
            failures=$((failures + 1))
        fi
    done
}

# Every command of the overview is offered, and only commands start with these letters.
contains "quorvane-cli " create info list add edit passwd enable disable expire delete sweep \
    import series export hash encrypt decrypt rekey help --help --version
expect "quorvane-cli di" disable
expect "quorvane-cli help pa" passwd
# Options of one command, and their fixed values.
expect "quorvane-cli passwd users.udx alice --" --password-stdin --generate --length --help \
    --master-password-file --key-file
expect "quorvane-cli rekey users.udx --n" --new-master-password-file --new-key-file --no-key-file
expect "quorvane-cli encrypt users.udx --key-file n" notes.txt
expect "quorvane-cli list users.udx --format " tsv json
expect "quorvane-cli list users.udx --format=j" json
expect "quorvane-cli series users.udx --login-case u" upper
contains "quorvane-cli export users.udx --" --output --format --target
# Targets: the actions, and the names of the database's targets.
expect "quorvane-cli target users.udx " add remove rename
expect "quorvane-cli export users.udx --target " default
"$cli" target users.udx add web2 --file "$work/web2.htpasswd" >/dev/null
expect "quorvane-cli export users.udx --target w" web2
expect "quorvane-cli target users.udx rename " default web2
# Databases: .udx files and folders (readline adds the "/"); plain files elsewhere.
expect "quorvane-cli info " folder other.udx users.udx
expect "quorvane-cli import users.udx " folder notes.txt other.udx users.udx
expect "quorvane-cli export users.udx --output n" notes.txt
expect "quorvane-cli verify n" notes.txt
# Logins come from the database on the line, also after options and for every LOGIN... slot.
expect "quorvane-cli passwd users.udx al" albert alice
expect "quorvane-cli disable users.udx bob a" albert alice
expect "quorvane-cli expire users.udx --on 2030-01-01 b" bob
expect "quorvane-cli passwd users.udx alice " ""
expect "quorvane-cli hash --salt " ""

# An encrypted database: completing a login asks for no master password and ends at once, even
# with a terminal on standard input that nobody answers (a pseudo-terminal held open by script).
(umask 077 && printf 'master-secret-9\n' >master.txt)
"$cli" create secret.udx
printf 'pw\n' | "$cli" add secret.udx carol --password-stdin --expire never
"$cli" encrypt secret.udx --master-password-file master.txt
cat >complete.sh <<END
source "$bash_completion"
source "$script"
PATH=$(dirname "$cli"):\$PATH
COMP_WORDS=(quorvane-cli passwd secret.udx c)
COMP_LINE="\${COMP_WORDS[*]}"
COMP_POINT=\${#COMP_LINE}
COMP_CWORD=3
_quorvane_cli quorvane-cli c secret.udx
echo "done: \${COMPREPLY[*]}"
END
started=$(date +%s%N)
got=$(timeout -s KILL 2 script -qec "bash complete.sh" /dev/null < <(sleep 3))
status=$?
elapsed=$((($(date +%s%N) - started) / 1000000))
if ((status != 0)) || [[ $got != *"done: "* ]] || [[ $got == *carol* ]]; then
    echo "FAIL: completing a login of an encrypted database (status $status after $elapsed ms): $got"
    failures=$((failures + 1))
fi
# With its master password the database lists carol: the completion fails on the prompt only.
if [[ $("$cli" list secret.udx --master-password-file master.txt | cut -f1) != carol ]]; then
    echo "FAIL: the encrypted database does not list carol with its master password"
    failures=$((failures + 1))
fi

if ((failures)); then
    echo "$failures completion checks failed"
    exit 1
fi
echo "completion: all checks passed"
