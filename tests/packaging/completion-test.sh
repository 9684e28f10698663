#!/usr/bin/env bash
# Completes command lines with the bash completion of sonorix-list from the
# source tree $1 and the programs of the build folder $2, as bash does on
# <TAB>, and compares the words offered. Exits 77 (skipped) without the
# bash-completion package.
set -uo pipefail
source_dir=$1
build=$2
helpers=/usr/share/bash-completion/bash_completion
if [ ! -r "$helpers" ]; then
    echo "bash-completion is not installed; skipped" >&2
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data PATH=$build/cli:$PATH
cd "$work" && touch some-file.mp3 || exit 1

# shellcheck disable=SC1090
. "$helpers"
# shellcheck disable=SC1091
. "$source_dir/packaging/completions/sonorix-list"
compopt() { :; } # only bash itself may call it while it completes

failures=0
# complete LINE EXPECTED: the words offered for the last word of LINE, each
# as the shell will insert it, joined by "|".
complete_line() {
    local line=$1 expected=$2
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _sonorix_list sonorix-list "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(IFS='|' && echo "${COMPREPLY[*]}")
    if [ "$got" != "$expected" ]; then
        echo "FAILED: '$line<TAB>' offers '$got', expected '$expected'" >&2
        failures=$((failures + 1))
    fi
}

complete_line "sonorix-list -c Cus" 'Custom\ Info'
complete_line "sonorix-list --columns Songname,Cus" 'Songname,Custom\ Info'
complete_line "sonorix-list -s Def" 'Default'
complete_line "sonorix-list --thr" '--threads'
complete_line "sonorix-list --new" '--new-style'
complete_line "sonorix-list --no-c" '--no-cache'
complete_line "sonorix-list --threads " ''
complete_line "sonorix-list -f j" 'json'
complete_line "sonorix-list --analysis f" 'full'
complete_line "sonorix-list -q some" 'some-file.mp3'

[ "$failures" -eq 0 ]
