# bash completion for trozflash-cli: subcommands, their options, and .tfs packages where a
# package file goes.

# The device nodes of the optical drives (SCSI peripheral type 5), read from sysfs: no
# drive is opened and no command is sent, so a drive that another copy is programming is
# left alone.
_trozflash_cli_drive_nodes() {
    local sysfs=${_trozflash_cli_sysfs:-/sys} device node type
    for device in "$sysfs"/bus/scsi/devices/*; do
        [[ -r $device/type ]] || continue
        read -r type <"$device/type"
        [[ $type == 5 ]] || continue
        for node in "$device"/block/sr* "$device"/scsi_generic/sg*; do
            [[ -e $node ]] && printf '/dev/%s\n' "${node##*/}"
        done
    done
}

_trozflash_cli() {
    local cur prev words cword
    _init_completion || return

    local subcommand="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            list | inspect | verify | pack | flash | probe | history)
                subcommand="${words[i]}"
                break
                ;;
        esac
    done

    if [[ -z $subcommand ]]; then
        COMPREPLY=($(compgen -W "list inspect verify pack flash probe history --help --version" -- "$cur"))
        return
    fi

    case "$prev" in
        -o | --output)
            _filedir tfs
            return
            ;;
        --image)
            if [[ $subcommand == pack ]]; then
                _filedir
            fi
            return
            ;;
        # Drive indexes are not offered: listing them would send INQUIRY to every drive,
        # perhaps to one that another copy is programming. Their device nodes are.
        --drive)
            COMPREPLY=($(compgen -W "$(_trozflash_cli_drive_nodes)" -- "$cur"))
            return
            ;;
        --generate | --block-sizes | --vendor | --product | --revision | --model-code | \
            --record-offset | --forget | --count)
            return
            ;;
    esac

    local options
    case "$subcommand" in
        list) options="--json" ;;
        inspect) options="--json" ;;
        verify) options="--image" ;;
        pack) options="--output --multi --scrambled --image --generate --block-sizes --vendor
                       --product --revision --model-code --record-offset" ;;
        flash) options="--drive --yes --dry-run --json --no-restart --allow-reinstall --allow-older" ;;
        probe) options="--drive --count" ;;
        history) options="--json --drive --forget" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi
    case "$subcommand" in
        inspect | verify | flash) _filedir tfs ;;
    esac
} &&
    complete -F _trozflash_cli trozflash-cli
