#!/usr/bin/env bash
# The bash completion of trozflash-cli, driven the way bash drives it: the words typed so
# far in COMP_WORDS, the offers read back from COMPREPLY.
#   completion_check.sh COMPLETION_FILE
export LC_ALL=C
source /usr/share/bash-completion/bash_completion || exit 1
source "$1" || exit 1
cd "$(mktemp -d)" || exit 1
touch fw.tfs image.bin
# sysfs of an optical drive (type 5) with its block and generic nodes, and a disk beside it.
_trozflash_cli_sysfs=$(mktemp -d)
devices=$_trozflash_cli_sysfs/bus/scsi/devices
mkdir -p "$devices"/1:0:0:0/{block/sr0,scsi_generic/sg1} "$devices"/0:0:0:0/{block/sda,scsi_generic/sg0}
echo 5 >"$devices"/1:0:0:0/type
echo 0 >"$devices"/0:0:0:0/type

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

expect "--help --version flash history inspect list pack probe verify" trozflash-cli ""
expect "flash" trozflash-cli fl
expect "--allow-older --allow-reinstall --drive --dry-run --help --json --no-restart --yes" trozflash-cli flash --
expect "fw.tfs" trozflash-cli flash ""
expect "/dev/sg1 /dev/sr0" trozflash-cli flash --drive ""
expect "/dev/sr0" trozflash-cli probe --drive /dev/sr
expect "/dev/sg1 /dev/sr0" trozflash-cli history --drive ""
expect "--drive --forget --help --json" trozflash-cli history --
expect "" trozflash-cli history --forget ""
expect "fw.tfs" trozflash-cli pack -o ""
expect "fw.tfs image.bin" trozflash-cli pack --image ""
expect "--help --json" trozflash-cli list --
rm -rf "$PWD" "$_trozflash_cli_sysfs"
exit $((failures > 0))
