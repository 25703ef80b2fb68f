#!/usr/bin/env bash
# mireldo-cli's bash completion, with the two helpers of the bash-completion package it uses
# replaced by small ones: _init_completion fills cur, prev, words and cword from COMP_WORDS, and
# _filedir answers "<files>" (or "<folders>" for -d) so the test sees which kind was offered.
# Usage: completion_test.sh COMPLETION_FILE
set -u
source "$1"

_init_completion() {
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]:-}
}
_filedir() {
    if [[ ${1:-} == -d ]]; then COMPREPLY=("<folders>"); else COMPREPLY=("<files>"); fi
}

failures=0
# expect "WORDS ON THE LINE" "EXPECTED REPLY": the last word is the one being completed.
expect() {
    read -r -a COMP_WORDS <<<"$1"
    if [[ $1 == *" " ]]; then COMP_WORDS+=(""); fi
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _mireldo_cli
    local got="${COMPREPLY[*]}"
    if [[ $got != "$2" ]]; then
        echo "FAIL: '$1' gave '$got', expected '$2'"
        failures=$((failures + 1))
    fi
}

expect "mireldo-cli " "play devices playlist record convert tag mail --help --version"
expect "mireldo-cli pl" "play playlist"
expect "mireldo-cli --v" "--version"
expect "mireldo-cli play " "<files>"
expect "mireldo-cli play --" "--device --loop"
expect "mireldo-cli record --encode " "mp3 wma ogg wav"
expect "mireldo-cli record --noise-level 3 --action " "0 1 2 3 4"
expect "mireldo-cli record --folder " "<folders>"
expect "mireldo-cli record --duration " ""
expect "mireldo-cli record --drop" "--drop-silence"
expect "mireldo-cli convert --rate 4" "44100 48000"
expect "mireldo-cli convert --to " "<folders>"
expect "mireldo-cli convert --type mp3 " "<files>"
expect "mireldo-cli tag --ti" "--title"
expect "mireldo-cli mail --to " ""
expect "mireldo-cli playlist " "show add remove --list"
expect "mireldo-cli playlist --list x.lst add " "<files>"
expect "mireldo-cli playlist remove " ""
expect "mireldo-cli devices " ""
expect "mireldo-cli dance " ""

if [[ $failures -gt 0 ]]; then
    echo "$failures completion case(s) failed"
    exit 1
fi
echo "all completion cases passed"
