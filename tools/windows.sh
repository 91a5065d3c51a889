#!/usr/bin/env bash
# Cross-builds the drive and update code, the virtual drives, the command line and their
# tests for Windows with Debian's mingw-w64: 32-bit (the published 80-byte record layouts
# are checked at compile time, and the test WNASPI32.DLL exports the 32-bit entry points)
# and 64-bit. Then runs the 64-bit build's tests under wine64, among them a flash through
# trozflash-cli.exe over the ASPI transport with a WNASPI32.DLL of our own.
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/install-missing.sh
install_missing g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64

echo "== 32-bit Windows build"
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686
# A program that needs runtime DLLs beside it would not start on a user's machine.
if i686-w64-mingw32-objdump -p build/mingw-i686/cli/trozflash-cli.exe | grep -E 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
    echo "trozflash-cli.exe is not statically linked" >&2
    exit 1
fi
# Programs find the ASPI entry points by their plain names.
exports=$(i686-w64-mingw32-objdump -p build/mingw-i686/tests/win32/wnaspi32.dll |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '$1 == "[" || $1 ~ /^\[[0-9]/ {print $NF}' | tr '\n' ' ')
if [ "$exports" != "GetASPI32SupportInfo SendASPI32Command " ]; then
    echo "the 32-bit test WNASPI32.DLL exports: $exports" >&2
    exit 1
fi

echo "== 64-bit Windows build"
prefix=build/mingw-x86_64/wine-prefix
# One wine server with wine's services for the whole run: without it every test program
# would wait seconds for them to start and stop. Stopped however the run ends.
# The build itself runs trozflash-cli.exe once (to pack the demo package).
trap 'bash tools/wine-prefix.sh stop "$prefix"' EXIT
bash tools/wine-prefix.sh start "$prefix"
cmake --preset mingw-x86_64 >/dev/null
cmake --build --preset mingw-x86_64

echo "== 64-bit Windows tests under wine64"
# Two of the flash tests wait in real time (20 s and 121 s).
# One test at a time: two parallel runs once each lost a test program without output.
ctest --preset mingw-x86_64
