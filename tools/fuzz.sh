#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (seconds per
# target, default 30), then prints each target's executions and coverage.
#   package_reader   the package reader: header, refusals, ValidatePackage, inspect
#   update_workflow  the Open step's scan and Start with the flash procedures (virtual drives)
#   pack_options     pack's option handling
#   state_file       the virtual drives' state file
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"

source tools/install-missing.sh
install_missing clang libclang-rt-14-dev cmake ninja-build pkg-config libcli11-dev nlohmann-json3-dev libsystemd-dev libsgutils2-dev libssl-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bin=build/fuzz/fuzz
# Large enough for a whole scan window behind the header, and for a second image.
max_len=140000
packages="$bin/package_corpus"
summary=()
for target in package_reader update_workflow pack_options state_file; do
    # New finds go to the first folder; the seeds kept in the repository (and the packages
    # made at build time, for the targets that read packages) are only read.
    finds="build/fuzz/corpus/$target"
    mkdir -p "$finds"
    seeds=("fuzz/corpus/$target")
    case "$target" in package_reader | update_workflow) seeds+=("$packages") ;; esac
    log="build/fuzz/$target.log"
    echo "== $target: $seconds s"
    "$bin/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
        "$finds" "${seeds[@]}" 2>"$log" || { tail -n 60 "$log"; exit 1; }
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    coverage="$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)"
    corpus="$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -n 1)"
    summary+=("$target: $runs executions, $coverage, $corpus")
done
echo "== Fuzzing summary"
printf '%s\n' "${summary[@]}"
