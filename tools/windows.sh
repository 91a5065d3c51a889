#!/usr/bin/env bash
# Cross-builds the drive and update code and the command line for Windows with Debian's
# mingw-w64: 32-bit (the published 80-byte record layouts are checked at compile time) and
# 64-bit.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for package in g++-mingw-w64-i686 g++-mingw-w64-x86-64; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686
# A program that needs runtime DLLs beside it would not start on a user's machine.
if i686-w64-mingw32-objdump -p build/mingw-i686/cli/trozflash-cli.exe | grep -E 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
    echo "trozflash-cli.exe is not statically linked" >&2
    exit 1
fi

cmake --preset mingw-x86_64 >/dev/null
cmake --build --preset mingw-x86_64
