#!/usr/bin/env bash
# trozflash-cli history, the interrupted-flash warning of list and probe, and inspect's
# SHA-256, run as a user runs them over a history journal written the way the tool writes
# it. Runs the real program: history_test.sh PROGRAM DEMO_PACKAGE CASE
set -uo pipefail
program="$1"
demo="$2"
case_name="$3"
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"
export XDG_STATE_HOME="$work/state" TROZFLASH_DRIVES=virtual
journal="$XDG_STATE_HOME/trozflash/history/flashes.jsonl"

json_is() {  # json_is JQ-FILTER EXPECTED WHAT: the filter over stdout gives EXPECTED
    local got
    got="$(jq -c "$1" out.txt)" || got="(not JSON)"
    [ "$got" = "$2" ] || fail "$3: $1 gave $got, expected $2"
}

begin() {  # begin ID DRIVE NODE PACKAGE
    printf '{"v":1,"type":"begin","id":"%s","time":"2026-12-01T10:00:00Z","writer_pid":1,"front_end":"cli","drive":{"index":%s,"identification":"TROZ    KVW-A100A       ","device_node":"%s"},"revision_before":"1.00","package":{"path":"%s","size":65600,"sha256":"ab","target":"TROZ    KVW-A100A       1.10"}}\n' \
        "$1" "$2" "$3" "$4" >>"$journal"
}

end() {  # end ID OUTCOME
    printf '{"v":1,"type":"end","id":"%s","time":"2026-12-01T10:00:09Z","outcome":"%s","revision_after":"1.10","duration_ms":9000,"log":["Flashing ..","Ok:Flash Complete!!"]}\n' \
        "$1" "$2" >>"$journal"
}

# Two flashes of drive 0, the second cut short, one of drive 1, and a torn last line.
seed() {
    mkdir -p "$(dirname "$journal")"
    begin a1 0 virtual:0 /fw/first.tfs
    end a1 written
    begin b2 0 virtual:0 /fw/cut.tfs
    begin c3 1 virtual:1 /fw/b200.tfs
    end c3 failed
    printf '{"v":1,"type":"begin","id":"d4","ti' >>"$journal"
}

warning='^Warning: the flash of /fw/cut.tfs into drive 0 \(TROZ    KVW-A100A       , virtual:0\) begun 2026-12-01T10:00:00Z was never completed; .* again before using it \(history --forget 2 stops this warning\)\.$'

case_lists_every_flash_newest_last() {
    run history
    expect 0 '^no flashes recorded$' '^$' "an empty history"
    [ ! -e "$XDG_STATE_HOME" ] || fail "reading an empty history made $XDG_STATE_HOME"
    seed
    run history
    expect 0 '^1  2026-12-01T10:00:00Z  drive 0 \(TROZ    KVW-A100A       , virtual:0\)  /fw/first.tfs  1.00 -> 1.10  written
2  2026-12-01T10:00:00Z  drive 0 .*  /fw/cut.tfs  1.00 -> \?  interrupted
3  .*  drive 1 .*  /fw/b200.tfs  1.00 -> 1.10  failed$' "$warning" "history"
    run history --drive 1
    expect 0 '^3  .*/fw/b200.tfs' "$warning" "history --drive 1"
    run history --drive virtual:0 --json
    expect 0 '' "$warning" "history --json"
    json_is '[.schema_version, [.flashes[].number], [.flashes[].state], .flashes[0].log]' \
        '[1,[1,2],["completed","interrupted"],["Flashing ..","Ok:Flash Complete!!"]]' "history --json"
    json_is '[.interrupted_flashes[] | [.number, .package.path, .drive.device_node]]' \
        '[[2,"/fw/cut.tfs","virtual:0"]]' "history --json's warning"
}

case_warns_until_forgotten() {
    seed
    run list
    expect 0 '0  TROZ    KVW-A100A' "$warning" "list"
    run list --json
    json_is '[.interrupted_flashes[].number, (.drives | length)]' '[2,3]' "list --json"
    run probe --drive 0
    expect 0 'TEST UNIT READY: GOOD' "$warning" "probe"
    run history --forget 1
    expect 1 '^$' '^history: flash 1 was completed; there is nothing to forget$' \
        "forgetting a completed flash"
    run history --forget 9
    expect 2 '^$' 'there is no flash 9 \(history lists 3\)$' "forgetting no flash"
    run history --forget 2
    expect 0 '^$' '^history: flash 2 no longer warns$' "forgetting the cut flash"
    run list
    expect 0 '0  TROZ' '^$' "list after forgetting"
    # A later completed flash of the drive ends the warning too.
    begin e5 0 virtual:0 /fw/again.tfs
    run list
    expect 0 '' '^Warning: the flash of /fw/again.tfs' "a newer cut flash"
    end e5 written
    run list
    expect 0 '' '^$' "list after the drive was written again"
}

case_inspect_gives_target_fields_and_digest() {
    run inspect --json "$demo"
    expect 0 '"sha256"' '^$' "inspect --json"
    json_is '[.size, .sha256, .images[0].model_record.vendor, .images[0].model_record.product, .images[0].model_record.revision]' \
        "[$(stat -c %s "$demo"),\"$(sha256sum "$demo" | cut -d' ' -f1)\",\"TROZ\",\"KVW-A100A\",\"1.10\"]" \
        "inspect --json"
}

"case_$case_name"
exit $((failures > 0))
