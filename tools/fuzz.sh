#!/usr/bin/env bash
# Builds the package reader's libFuzzer target with clang and runs it for a bounded time
# (seconds, default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"

missing=()
for package in clang libclang-rt-14-dev cmake ninja-build pkg-config libcli11-dev nlohmann-json3-dev libsystemd-dev; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# New finds go to the first folder; the writer's seed packages are read from the second.
corpus=build/fuzz/corpus
mkdir -p "$corpus"
build/fuzz/fuzz/package_reader_fuzz -max_total_time="$seconds" -print_final_stats=1 \
    "$corpus" build/fuzz/fuzz/package_corpus
