#!/usr/bin/env bash
# Writes every event of 3,740 flash runs of this tree on the virtual transports (each CDB, log
# line, progress value, pause and result) to OUT (default build/flash-trace.txt). A change that
# must not change how drives are flashed leaves the file byte-identical: run it before and
# after (or in two checkouts) and compare with cmp.
#   bash tools/flash-trace.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/flash-trace.txt}
cmake --preset default >/dev/null
cmake --build --preset default --target flash_trace >/dev/null
build/default/tests/update/flash_trace | grep -v '^\[' >"$out"
echo "$(grep -c '^===' "$out") flash runs traced in $out"
