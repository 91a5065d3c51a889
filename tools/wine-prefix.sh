#!/usr/bin/env bash
# The wine prefix that a Windows build's tests run in, and its wine server. It is a 64-bit
# prefix; where wine32 is installed, 32-bit programs run in it too (their system directory is
# syswow64).
#
#   wine-prefix.sh create PREFIX            make the prefix once; later calls return at once
#   wine-prefix.sh start PREFIX [SECONDS]   a persistent server with wine's services up; it
#                                           ends SECONDS after the last program (default: never)
#   wine-prefix.sh stop PREFIX              end the server and every program in the prefix
#   wine-prefix.sh install-dll PREFIX FILE  put FILE into the system directory of programs of
#                                           its width as WNASPI32.DLL
#   wine-prefix.sh remove-dll PREFIX        take it out of both system directories
#
# The prefix holds what the tests need of a Windows machine:
#   - D: and E: are CD-ROM drives with no device behind them: the pass-through scan opens
#     them and their pass-through calls fail with a system error.
#   - The consumer-family programs (below) see Windows 98, so they take the ASPI transport.
set -euo pipefail

# Programs that run as on Windows 98; every other program sees the NT family.
consumer_family_programs=(trozflash-cli.exe troz_win32_aspi_tests.exe)
cdrom_letters=(d e)

usage() {
    sed -n '2,14p' "$0" >&2
    exit 2
}

find_wine() {
    local candidate
    for candidate in wine64 /usr/lib/wine/wine64 /usr/lib64/wine/wine64 wine; do
        if command -v "$candidate" >/dev/null 2>&1; then
            command -v "$candidate"
            return
        fi
    done
    echo "wine-prefix.sh: wine64 is not installed (apt-get install wine64)" >&2
    exit 1
}

find_wineserver() {
    local candidate
    for candidate in wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
        if command -v "$candidate" >/dev/null 2>&1; then
            command -v "$candidate"
            return
        fi
    done
    echo "wine-prefix.sh: wineserver is not installed" >&2
    exit 1
}

[ $# -ge 2 ] || usage
command=$1
prefix=$(realpath -m "$2")
shift 2
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}"
wine=$(find_wine)
wineserver=$(find_wineserver)

# Programs started by this script must not hold the caller's output open: CTest and ninja
# wait for every writer of a test's pipe to go, and wine's services live on.
quietly() {
    "$@" </dev/null >/dev/null 2>&1 9>&-
}

lock_prefix() {
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
}

registry_settings() {
    echo "REGEDIT4"
    echo
    echo "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]"
    local letter
    for letter in "${cdrom_letters[@]}"; do
        echo "\"$letter:\"=\"cdrom\""
    done
    local program
    for program in "${consumer_family_programs[@]}"; do
        echo
        echo "[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\$program]"
        echo "\"Version\"=\"win98\""
    done
}

create() {
    lock_prefix
    if [ -f "$prefix/.trozflash-ready" ]; then
        return
    fi
    # No offer to download wine's .NET and HTML engines: with a display it would wait for an
    # answer. No desktop menu entries in $HOME for what gets installed into the prefix.
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" quietly "$wine" wineboot -i
    local letter
    for letter in "${cdrom_letters[@]}"; do
        mkdir -p "$prefix/cdrom-$letter"
        ln -sfn "../cdrom-$letter" "$prefix/dosdevices/$letter:"
    done
    registry_settings >"$prefix/trozflash.reg"
    quietly "$wine" regedit /S "$(winepath_of "$prefix/trozflash.reg")"
    # Wine's mount manager reads the drive types when its service starts: let this server
    # and its services end, so the next start sees D: and E: as CD-ROM drives.
    quietly timeout 60 "$wineserver" -w || quietly "$wineserver" -k || true
    touch "$prefix/.trozflash-ready"
}

# A file of the prefix by its Windows name (the prefix is reachable as Z: like all of /).
winepath_of() {
    echo "Z:${1//\//\\}"
}

start() {
    local linger=${1:-}
    lock_prefix
    # Exit status 0: this call started the server (an existing one answers 2).
    if quietly "$wineserver" "-p$linger"; then
        quietly "$wine" wineboot || true
    fi
}

stop() {
    quietly "$wineserver" -k || true
}

# The machine field of a PE file's header: 014c for 32-bit x86, 8664 for x86-64.
pe_machine() {
    local header
    header=$(od -A n -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    od -A n -t x2 -j $((header + 4)) -N 2 "$1" | tr -d ' '
}

# Where a program of the DLL's width looks for it: a 32-bit program in a 64-bit prefix reads
# syswow64 (wine keeps its own wnaspi32.dll there), every other one system32.
system_directory_for() {
    local windows="$prefix/drive_c/windows"
    if [ "$(pe_machine "$1")" = 014c ] && [ -d "$windows/syswow64" ]; then
        echo "$windows/syswow64"
    else
        echo "$windows/system32"
    fi
}

case "$command" in
    create) create ;;
    start)
        create
        start "$@"
        ;;
    stop) stop ;;
    install-dll)
        [ $# -eq 1 ] || usage
        create
        cp "$1" "$(system_directory_for "$1")/wnaspi32.dll"
        ;;
    remove-dll)
        create
        rm -f "$prefix/drive_c/windows/system32/wnaspi32.dll" \
            "$prefix/drive_c/windows/syswow64/wnaspi32.dll"
        ;;
    *) usage ;;
esac
