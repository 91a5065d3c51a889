#!/usr/bin/env bash
# Flashes the demo package into the virtual KVW-A100A with the real clock and reports the
# wall time, the floor (the drive's own programming and answering time plus the pauses the
# direct procedure must make), our overhead above that floor, and the CPU time the process
# used (nearly all of the run is the completion wait).
# Run after a build: bash tools/flash-benchmark.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
runs="${2:-3}"
cli="$build/cli/trozflash-cli"
package="$build/demo/kvw-a100a.tfs"

# The virtual drive programs itself for 4000 ms; the direct procedure pauses 2000 ms before
# its first block and none before the wait (the trigger is taken at once).
programming_ms=4000
pauses_ms=2000
# Each command costs the virtual drive 2 ms, as a real drive takes its time to answer. Outside
# the wait the run sends 12 commands (3 INQUIRY while discovering, STOP PLAY/SCAN, START STOP
# UNIT, 2 INQUIRY for the checks, 4 blocks, the trigger), and after programming ends at most
# one poll and the closing TEST UNIT READY: 14 commands that are the drive's time, not ours.
drive_commands_ms=$((14 * 2))
floor_ms=$((programming_ms + pauses_ms + drive_commands_ms))

export TROZFLASH_DRIVES=virtual
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export XDG_STATE_HOME="$state"

printf '%-4s %10s %10s %12s %10s %10s\n' run wall_ms floor_ms overhead_ms overhead% cpu_ms
for run in $(seq 1 "$runs"); do
    rm -rf "$state/trozflash"
    start=$(date +%s%N)
    times_before=$(cat /proc/$$/stat | awk '{print $16 + $17}')  # children's user + sys ticks
    "$cli" flash --drive 0 --yes --no-restart "$package" >/dev/null
    end=$(date +%s%N)
    times_after=$(cat /proc/$$/stat | awk '{print $16 + $17}')
    ticks=$(getconf CLK_TCK)
    wall_ms=$(((end - start) / 1000000))
    cpu_ms=$(((times_after - times_before) * 1000 / ticks))
    overhead_ms=$((wall_ms - floor_ms))
    percent=$(awk -v o="$overhead_ms" -v w="$wall_ms" 'BEGIN { printf "%.2f", 100 * o / w }')
    printf '%-4s %10s %10s %12s %10s %10s\n' "$run" "$wall_ms" "$floor_ms" "$overhead_ms" "$percent" "$cpu_ms"
done
