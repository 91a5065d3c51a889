#!/usr/bin/env bash
# What users feed trozflash-cli besides well-formed packages: cut-short headers, FIFOs,
# devices and folders in place of files, names with line breaks, out-of-range pack options,
# an output that is an input, a write that fails half-way, and a state file that is no file.
# Runs the real program: package_input_test.sh PROGRAM DEMO_PACKAGE CASE
set -uo pipefail
program="$1"
demo="$2"
case_name="$3"
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"

record=(--vendor TROZ --product KVW-A100A --revision 1.10 --model-code 4131)

case_short_header() {
    printf 'TROZ FILE SYSTEM' >short.tfs
    run verify short.tfs
    expect 1 '^Err:Not TROZ File system!!$' '^$' "16-byte header"
    head -c 63 "$demo" >cut.tfs
    run verify cut.tfs
    expect 1 '^Err:Not TROZ File system!!$' '^$' "63-byte header"
    # A whole header with block count 0 and checksum 0 is an empty package, and valid.
    { printf 'TROZ FILE SYSTEM'; head -c 48 /dev/zero; } >empty.tfs
    run verify empty.tfs
    expect 0 '^Ok:Firmware file check sum OK!!$' '^$' "64-byte empty package"
}

case_not_a_regular_file() {
    mkfifo fifo.tfs
    mkdir folder.tfs
    for input in fifo.tfs folder.tfs /dev/null; do
        run inspect "$input"
        expect 1 '^$' "^inspect: cannot open .*: not a regular file \(a [a-zA-Z]+\)$" "inspect $input"
        run verify "$input"
        expect 1 '^Err:Open Firmware file Error!!$' "^verify: cannot open .*: not a regular file" "verify $input"
        TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run flash --drive 0 --no-restart "$input"
        expect 1 "^Err:Open File: $input Error!!" "^trozflash-cli: cannot open .*: not a regular file" "flash $input"
        run pack -o out.tfs --image "$input"
        expect 1 '^$' "^pack: cannot read image file .*: not a regular file" "pack --image $input"
    done
    head -c 3000 /dev/urandom >image.bin
    for output in fifo.tfs folder.tfs /dev/null; do
        run pack -o "$output" --image image.bin
        expect 1 '^$' "^pack: cannot write .*: not a regular file" "pack -o $output"
    done
    [ -p fifo.tfs ] && [ -d folder.tfs ] || fail "pack replaced a FIFO or a folder"
}

case_control_characters_in_names() {
    local name=$'pkg\nOk:Flash Complete!!\n.tfs'
    TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run flash --drive 0 --no-restart "$name"
    expect 1 '^Err:Open File: pkg\\x0AOk:Flash Complete!!\\x0A.tfs Error!!' \
        '^trozflash-cli: cannot open pkg\\x0AOk:Flash Complete!!\\x0A.tfs: No such file' "flash"
    grep -qx 'Ok:Flash Complete!!' out.txt && fail "a name printed a line of its own"
    cp "$demo" "$name"
    run inspect --json "$name"
    expect 0 '"file": "pkg\\\\x0AOk:Flash Complete!!\\\\x0A.tfs"' '^$' "inspect --json"
    run inspect "$name"
    expect 0 'Package:        pkg\\x0AOk:Flash Complete!!\\x0A.tfs' '^$' "inspect"
    # JSON gives the path as given, escaped only as JSON does.
    TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run flash --drive 0 --dry-run --json "$name"
    expect 0 '"package": "pkg\\nOk:Flash Complete!!\\n.tfs"' '' "flash --json"
    # What a drive reports (its revision, from the firmware flashed into it) reaches the
    # terminal escaped: ESC[2J must not clear it.
    run pack -o clear.tfs --generate 1 --block-sizes 16384,16384,16384,16384 --record-offset 64 \
        --vendor TROZ --product KVW-A100A --revision $'\e[2J' --model-code 4131
    for command in "flash --drive 0 --yes --no-restart clear.tfs" "list" "probe"; do
        # shellcheck disable=SC2086
        TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run $command
        expect 0 '' '' "$command"
        grep -q $'\e' out.txt err.txt && fail "$command printed an escape character raw"
        grep -qF '\x1B[2J' out.txt err.txt || fail "$command did not show the revision escaped"
    done
}

case_pack_option_ranges() {
    for options in "--record-offset 18446744073709551516" "--record-offset -100" \
                   "--record-offset 65429" "--generate 100000000" "--generate -1" \
                   "--block-sizes 1000,-5" "--block-sizes 65534"; do
        # shellcheck disable=SC2086
        run pack -o out.tfs --block-sizes 1000 --generate 1 "${record[@]}" $options
        # Refused with a status of its own: not accepted, not killed, not timed out.
        [ "$status" -ge 1 ] && [ "$status" -lt 124 ] || fail "pack $options: exit status $status"
        [ "$(wc -l <err.txt)" -le 2 ] || fail "pack $options: more than one message: $err"
        [ -e out.tfs ] && fail "pack $options: wrote a package"
    done
    run pack -o out.tfs --generate 2 --block-sizes 1000 "${record[@]}"
    expect 1 '^$' '^pack: a single-image package holds one image, not 2' "two images, single"
}

case_pack_output_is_an_input() {
    head -c 3000 /dev/urandom >image.bin
    cp image.bin before.bin
    ln -s image.bin link.bin
    for pair in "image.bin image.bin" "link.bin image.bin" "image.bin link.bin" "./image.bin image.bin"; do
        read -r output input <<<"$pair"
        run pack -o "$output" --image "$input"
        expect 1 '^$' "^pack: the output .* is the image file .*; choose another output$" "pack -o $output --image $input"
    done
    cmp -s image.bin before.bin || fail "the image file was overwritten"
}

case_pack_failed_write_keeps_the_old_file() {
    run pack -o package.tfs --generate 1 --block-sizes 20000 "${record[@]}"
    expect 0 '^Wrote package.tfs: 20064 bytes' '' "first package"
    cp package.tfs before.tfs
    # A file-size limit of 16 KiB: the new package of 60064 bytes cannot be written whole.
    (ulimit -f 16 && exec timeout 20 "$program" pack -o package.tfs --generate 1 \
        --block-sizes 60000 "${record[@]}" >out.txt 2>err.txt)
    status=$?
    out="$(cat out.txt)"
    err="$(cat err.txt)"
    expect 1 '^$' '^pack: cannot write package.tfs: File too large$' "write past the limit"
    cmp -s package.tfs before.tfs || fail "the old package was changed"
    [ "$(ls)" = "$(printf 'before.tfs\nerr.txt\nout.txt\npackage.tfs')" ] || fail "left behind: $(ls)"
}

case_state_file_that_is_no_file() {
    local state="$work/state/trozflash/virtual-drives.json"
    mkdir -p "$state"
    TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run list
    expect 0 'KVW-A100A        1.00' "state file .* cannot be used: not a regular file \(a directory\); the virtual drives start in their factory state$" "state folder"
    rmdir "$state"
    ln -s /dev/zero "$state"
    TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run list
    expect 0 'KVW-A100A        1.00' "cannot be used: not a regular file \(a device\)" "state link to /dev/zero"
    rm "$state"
    head -c 100000 /dev/zero | tr '\0' ' ' >"$state"
    TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run list
    expect 0 'KVW-A100A        1.00' "cannot be used: larger than 65536 bytes" "huge state file"
}

case_state_that_cannot_be_saved() {
    # The virtual drive's flash memory is its state file: when that cannot be written, the
    # drive refuses to program and the flash fails, on either transport.
    mkdir -p "$work/state"
    echo "a file" >"$work/state/trozflash"
    for drives in virtual virtual-aspi; do
        TROZFLASH_DRIVES=$drives XDG_STATE_HOME="$work/state" run flash --drive 0 --yes --no-restart "$demo"
        expect 1 $'^Flashing \.\.\nStatus:[24];SenseCode:4 : 44 : 0;\nErr:Flash Fail\.\n' \
            "Cannot save the virtual drives' state to .*: Not a directory; the virtual drive keeps the firmware it had" \
            "$drives: state folder is a file"
    done
    # Somebody else's file behind a link in the state file's place is neither written
    # through nor replaced.
    rm "$work/state/trozflash"
    mkdir -p "$work/state/trozflash"
    echo "precious" >notes.txt
    ln -s "$work/notes.txt" "$work/state/trozflash/virtual-drives.json"
    TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run flash --drive 0 --yes --no-restart "$demo"
    expect 1 $'SenseCode:4 : 44 : 0;\nErr:Flash Fail\.\n' "that file cannot be used \(not a state file of this tool's\) and is left as it is" "state file linked to a foreign file"
    [ "$(cat notes.txt)" = precious ] || fail "the link's target was written"
    [ -L "$work/state/trozflash/virtual-drives.json" ] || fail "the link was replaced"
}

case_blocks_past_the_end() {
    # The image the Open step scans is whole; only the last block's last byte is missing.
    run pack -o whole.tfs --generate 1 --block-sizes 16384,16384,16384,16384 \
        --record-offset 64 "${record[@]}"
    expect 0 '' '' "pack"
    head -c 65599 whole.tfs >cut.tfs
    run verify cut.tfs
    expect 1 '^Err:The firmware file ends before its last block!!$' '^$' "verify"
    TROZFLASH_DRIVES=virtual XDG_STATE_HOME="$work/state" run flash --drive 0 --yes --no-restart cut.tfs
    expect 1 '^Err:The firmware file ends before its last block!!$' '' "flash"
}

"case_${case_name}"
if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "$case_name: passed"
