#!/bin/sh
# kurvanctl's completion as written at build time, asked the way each shell asks it: the
# commands, the options of the command typed (and only those), and the values an option or a
# command takes. Shells that are not installed are left out; zsh is checked for its syntax.
set -eu
dir=$1
failed=0

# What bash offers for the line typed after "kurvanctl " (its last word being completed; a
# trailing blank starts a new one), sorted.
bash_offers() {
    bash -c '. "$1"; read -ra words <<< "$2"; [[ -z $2 || $2 == *" " ]] && words+=("")
             COMP_WORDS=(kurvanctl "${words[@]}"); COMP_CWORD=${#words[@]}; _kurvanctl
             printf "%s\n" "${COMPREPLY[@]}"' sh "$dir/kurvanctl" "$1" | sort | tr '\n' ' '
}
fish_offers() {
    fish -c "source '$dir/kurvanctl.fish'; complete -C 'kurvanctl $1'" | cut -f1 | sort | tr '\n' ' '
}
expect() {
    shell=$1 typed=$2 expected=$3
    got=$("${shell}_offers" "$typed")
    if [ "$got" != "$expected " ]; then
        echo "FAIL $shell, \"kurvanctl $typed\": offers \"$got\", expected \"$expected \"" >&2
        failed=1
    fi
}

commands="credit help next prev quit-jukebox serve status stop volume watch"
serve="--allow-empty-password --allow-host --host --listen --password-file --plain-http --port --qr --tls --tls-cert
    --tls-key --verbose"
serve=$(echo $serve)
quit="--host --json --password-file --port --yes"

expect bash "" "$commands"
expect bash "help st" "status stop"
expect bash "serve --" "$serve"
expect bash "--host jukebox quit-jukebox --" "$quit"
expect bash "watch --re" "--reconnect"
expect bash "credit " "+1 -1"
expect bash "credit -" "-1"
expect bash "--port " "7620"
expect bash "serve --listen " "0.0.0.0:8620 127.0.0.1:8620"
expect bash "-" "$(printf '%s\n' -h -V --help --version --host --port --password-file --json --yes --position \
    --reconnect $serve | sort -u | tr '\n' ' ' | sed 's/ $//')"

if command -v fish >/dev/null; then
    expect fish "" "$commands"
    expect fish "serve --" "$serve"
    expect fish "quit-jukebox --" "$quit"
    expect fish "credit " "+1 -1"
    expect fish "--port " "7620"
fi
if command -v zsh >/dev/null; then
    zsh -n "$dir/_kurvanctl" || { echo "FAIL zsh: the completion does not parse" >&2; failed=1; }
fi
exit $failed
