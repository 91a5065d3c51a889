#!/usr/bin/env bash
# The bash completion of trozflash-cli, driven the way bash drives it: the words typed so
# far in COMP_WORDS, the offers read back from COMPREPLY.
#   completion_check.sh COMPLETION_FILE
export LC_ALL=C
source /usr/share/bash-completion/bash_completion || exit 1
source "$1" || exit 1
cd "$(mktemp -d)" || exit 1
touch fw.tfs image.bin

failures=0
# expect OFFERS WORD...: completing the last word offers exactly OFFERS (sorted).
expect() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _trozflash_cli
    local offered
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $offered != "$expected" ]]; then
        echo "'$*': offered '$offered', expected '$expected'"
        failures=$((failures + 1))
    fi
}

expect "--help --version flash inspect list pack probe verify" trozflash-cli ""
expect "flash" trozflash-cli fl
expect "--drive --dry-run --help --json --no-restart --yes" trozflash-cli flash --
expect "fw.tfs" trozflash-cli flash ""
expect "" trozflash-cli flash --drive ""
expect "fw.tfs" trozflash-cli pack -o ""
expect "fw.tfs image.bin" trozflash-cli pack --image ""
expect "--help --json" trozflash-cli list --
rm -rf "$PWD"
exit $((failures > 0))
