#!/usr/bin/env bash
# Runs a program of a Windows build under wine, in the build's own wine prefix (the wine64
# loader hands 32-bit programs to 32-bit wine). CMake uses it as the cross builds' emulator:
# CTest runs every Windows test through it.
#
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
#
# The prefix is made on first use (tools/wine-prefix.sh). When no wine server runs for it,
# one is started that ends 10 seconds after the last program, so a run of many tests pays
# wine's start-up once; tools/windows.sh keeps one running for the whole test run instead.
set -euo pipefail

tools=$(dirname "$(realpath "$0")")
if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX PROGRAM [ARGUMENTS...]" >&2
    exit 2
fi
prefix=$1
shift
export WINEPREFIX
WINEPREFIX=$(realpath -m "$prefix")
export WINEDEBUG="${WINEDEBUG:--all}"
server_linger_seconds=10

if ! bash "$tools/wine-prefix.sh" start "$WINEPREFIX" "$server_linger_seconds"; then
    echo "wine-run.sh: the wine prefix $WINEPREFIX could not be made or started" >&2
    exit 1
fi

wine=
for candidate in wine64 /usr/lib/wine/wine64 /usr/lib64/wine/wine64 wine; do
    if command -v "$candidate" >/dev/null 2>&1; then
        wine=$(command -v "$candidate")
        break
    fi
done

# Windows programs end their lines with CR LF; CMake's GoogleTest discovery reads the test
# list line by line and would keep the CR in every name.
if [[ " $* " == *" --gtest_list_tests "* ]]; then
    set +o pipefail
    "$wine" "$@" | tr -d '\r'
    exit "${PIPESTATUS[0]}"
fi
exec "$wine" "$@"
