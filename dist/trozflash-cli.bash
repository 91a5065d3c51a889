# bash completion for trozflash-cli: subcommands, their options, and .tfs packages where a
# package file goes.

_trozflash_cli() {
    local cur prev words cword
    _init_completion || return

    local subcommand="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            list | inspect | verify | pack | flash | probe)
                subcommand="${words[i]}"
                break
                ;;
        esac
    done

    if [[ -z $subcommand ]]; then
        COMPREPLY=($(compgen -W "list inspect verify pack flash probe --help --version" -- "$cur"))
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
        # perhaps to one that another copy is programming.
        --drive | --generate | --block-sizes | --vendor | --product | --revision | --model-code | \
            --record-offset)
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
        flash) options="--drive --yes --dry-run --json --no-restart" ;;
        probe) options="--drive --count" ;;
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
