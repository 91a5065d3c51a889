#!/usr/bin/env bash
# Cross-builds the drive and update code, the virtual drives, the programs and their tests
# for 32-bit and 64-bit Windows with Debian's mingw-w64, runs each build's tests under wine
# in Xvfb (the 32-bit ones under 32-bit wine), among them a flash through trozflash-cli.exe
# over the ASPI transport with a WNASPI32.DLL of our own, then builds both installers and
# portable ZIPs and installs, runs and uninstalls each under wine (tools/windows-installer.sh).
#
#   bash tools/windows.sh               all of the above (CI)
#   bash tools/windows.sh test ARCH     one build's tests again (ARCH: i686 or x86_64)
#
# The 32-bit tests need a machine that starts 32-bit programs (a kernel with 32-bit support
# and wine32): where it cannot, one line says so and the rest goes on.
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/install-missing.sh

# Runs one build's tests with a display (wine creates no window without an X server) and one
# wine server with wine's services for the whole run: without it every test program would
# wait seconds for them to start and stop. Both belong to this run and end with it, so the
# server's services see the same display as the tests.
run_tests() {
    local arch=$1
    local prefix=build/mingw-$arch/wine-prefix
    if [ -z "${TROZ_XVFB:-}" ]; then
        TROZ_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash tools/windows.sh test "$arch"
    fi
    # shellcheck disable=SC2064 # the prefix of this run, also when the trap runs outside it
    trap "bash tools/wine-prefix.sh stop '$prefix'" EXIT
    bash tools/wine-prefix.sh stop "$prefix"
    bash tools/wine-prefix.sh start "$prefix"
    # Two of the flash tests wait in real time (20 s and 121 s).
    # One test at a time: two parallel runs in one prefix once each lost a test program
    # without output.
    ctest --preset "mingw-$arch"
}

if [ "${1:-}" = test ]; then
    if [ $# -ne 2 ] || ! [[ "$2" =~ ^(i686|x86_64)$ ]]; then
        sed -n '8,9p' "$0" >&2
        exit 2
    fi
    run_tests "$2"
    exit
fi
[ $# -eq 0 ] || { sed -n '8,9p' "$0" >&2; exit 2; }

install_missing g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine32:i386 xvfb xauth nsis

# The build runs trozflash-cli.exe once (to pack the demo package) through a wine server that
# lingers; the tests start their own with the display.
build() {
    local arch=$1
    shift
    cmake --preset "mingw-$arch" "$@" >/dev/null
    cmake --build --preset "mingw-$arch"
    bash tools/wine-prefix.sh stop "build/mingw-$arch/wine-prefix"
    # A program that needs runtime DLLs beside it would not start on a user's machine.
    local program
    for program in build/mingw-"$arch"/cli/trozflash-cli.exe build/mingw-"$arch"/app/win32/trozflash.exe; do
        [ -f "$program" ] || continue
        if "$arch-w64-mingw32-objdump" -p "$program" | grep -E 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
            echo "$program is not statically linked" >&2
            exit 1
        fi
    done
}

# Whether wine starts a 32-bit program here: a kernel without 32-bit support cannot.
starts_32bit_programs() {
    local dir=build/wine32-check
    mkdir -p "$dir"
    printf '#include <stdio.h>\nint main(void) { puts("32-bit"); return sizeof(void *) == 4 ? 0 : 1; }\n' >"$dir/check.c"
    i686-w64-mingw32-gcc -O -o "$dir/check.exe" "$dir/check.c"
    local output
    output=$(timeout 300 bash tools/wine-run.sh build/mingw-i686/wine-prefix "$dir/check.exe" 2>&1) || true
    bash tools/wine-prefix.sh stop build/mingw-i686/wine-prefix
    [ "$(printf '%s' "$output" | tr -d '\r')" = 32-bit ]
}

echo "== 32-bit Windows build"
if starts_32bit_programs; then
    wine32=ON
else
    wine32=OFF
    echo "This machine cannot start 32-bit Windows programs under wine: the 32-bit build is built, its tests and installer are not run."
fi
build i686 -DTROZ_WINE=$wine32
# Programs find the ASPI entry points by their plain names.
exports=$(i686-w64-mingw32-objdump -p build/mingw-i686/tests/win32/wnaspi32.dll |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '$1 == "[" || $1 ~ /^\[[0-9]/ {print $NF}' | tr '\n' ' ')
if [ "$exports" != "GetASPI32SupportInfo SendASPI32Command " ]; then
    echo "the 32-bit test WNASPI32.DLL exports: $exports" >&2
    exit 1
fi

# The 32-bit tests mostly wait (for wine, for the real-time flash tests): they run while the
# 64-bit build compiles, their output kept until they end.
log32=build/mingw-i686/tests.log
pid32=
if [ "$wine32" = ON ]; then
    echo "== 32-bit Windows tests under 32-bit wine (in the background, output below)"
    bash tools/windows.sh test i686 >"$log32" 2>&1 &
    pid32=$!
fi

echo "== 64-bit Windows build"
build x86_64

echo "== 64-bit Windows tests under wine64"
status=0
bash tools/windows.sh test x86_64 || status=1

if [ -n "$pid32" ]; then
    echo "== 32-bit Windows tests under 32-bit wine"
    wait "$pid32" || status=1
    cat "$log32"
fi
if [ "$status" != 0 ]; then
    echo "Windows tests failed (above)" >&2
    exit 1
fi

echo "== Windows installers and portable ZIPs"
# The NSIS installer is a 32-bit program itself.
if [ "$wine32" = ON ]; then
    bash tools/windows-installer.sh build/mingw-i686
    bash tools/windows-installer.sh build/mingw-x86_64
else
    cmake --build --preset mingw-i686 --target windows_packages
    cmake --build --preset mingw-x86_64 --target windows_packages
    echo "Not installed under wine: the installers are 32-bit programs."
fi
