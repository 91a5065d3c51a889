#!/usr/bin/env bash
# Builds a Windows build's installer and portable ZIP (its windows_packages target) and
# proves the installer under wine, in a fresh prefix of its own:
#   - installs silently (setup.exe /S) under Program Files (x86 for the 32-bit one),
#   - the installed trozflash-cli.exe shows its version and lists the virtual drives,
#   - the Start-menu shortcut "TROZFlash" leads to the window (when the build has it),
#   - the Add/Remove Programs entry has the name, version, publisher and both uninstall
#     commands, in the registry view of the program's width,
#   - the ZIP holds the same files,
#   - uninstall.exe /S leaves no file, shortcut or registry key behind.
#
#   bash tools/windows-installer.sh BUILD_DIR      (build/mingw-i686 or build/mingw-x86_64)
#
# The NSIS installer is a 32-bit program: the machine must start 32-bit Windows programs.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 BUILD_DIR (a configured mingw build)" >&2
    exit 2
fi
build=$1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
if grep -q '^CMAKE_TOOLCHAIN_FILE:.*mingw-x86_64' "$build/CMakeCache.txt"; then
    arch=win64 view=64 program_files="Program Files" format=pei-x86-64
else
    arch=win32 view=32 program_files="Program Files (x86)" format=pei-i386
fi
name=TROZFlash-$version-$arch

cmake --build "$build" --target windows_packages
setup=$build/$name-setup.exe
zip=$build/$name.zip

export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
WINEPREFIX=$(realpath -m "$build/installer-prefix")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

fail() {
    echo "windows-installer.sh ($arch): $*" >&2
    exit 1
}

# A fresh prefix, and its own wine server that ends with the script.
bash tools/wine-prefix.sh stop "$WINEPREFIX"
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
trap 'bash tools/wine-prefix.sh stop "$WINEPREFIX"' EXIT
bash tools/wine-prefix.sh start "$WINEPREFIX"
drive_c=$WINEPREFIX/drive_c
# What the machine holds before: the same must be there after the uninstall, nothing more.
snapshot() {
    (cd "$drive_c" && { find "Program Files" "Program Files (x86)" ProgramData windows/system32 \
        windows/syswow64 -path '*/temp' -prune -o -print 2>/dev/null || true; } | sort)
}
snapshot >"$WINEPREFIX/before.txt"

echo "Installing $setup silently"
"$wine" "$(realpath "$setup")" /S </dev/null || fail "the silent install failed ($?)"
instdir=$drive_c/$program_files/TROZFlash
windows_dir="C:\\$program_files\\TROZFlash"
[ -f "$instdir/trozflash-cli.exe" ] || fail "no trozflash-cli.exe in C:\\$program_files\\TROZFlash"
[ -f "$instdir/uninstall.exe" ] || fail "no uninstall.exe in C:\\$program_files\\TROZFlash"
installed=$(cd "$instdir" && ls | sort | tr '\n' ' ')
echo "Installed into C:\\$program_files\\TROZFlash: $installed"
# (uninstall.exe is a 32-bit NSIS program in both.)
for program in "$instdir"/trozflash*.exe; do
    x86_64-w64-mingw32-objdump -f "$program" | grep -q "file format $format" ||
        fail "$(basename "$program") is not a $format program"
done

# The ZIP holds what the installer put there, less the uninstaller.
in_zip=$(cmake -E tar tf "$zip" | sed -n "s|^$name/\\(..*\\)|\\1|p" | sort | tr '\n' ' ')
[ "$in_zip" = "$(echo "$installed" | tr ' ' '\n' | grep -v '^uninstall.exe$' | grep . | tr '\n' ' ')" ] ||
    fail "the ZIP holds $in_zip, the installer $installed"

cli_output=$("$wine" "$instdir/trozflash-cli.exe" --version </dev/null | tr -d '\r')
echo "trozflash-cli.exe --version: $cli_output"
[[ "$cli_output" == *"$version"* ]] || fail "the installed trozflash-cli.exe does not show $version"
list_output=$(TROZFLASH_DRIVES=virtual "$wine" "$instdir/trozflash-cli.exe" list </dev/null | tr -d '\r')
echo "$list_output"
[[ "$list_output" == *KVW-A100A* ]] || fail "trozflash-cli.exe list does not show the virtual drives"

shortcut=$drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/TROZFlash.lnk
if [ -f "$instdir/trozflash.exe" ]; then
    [ -f "$shortcut" ] || fail "no Start-menu shortcut TROZFlash for all users"
    # The link keeps its target's whole path in the system's code page.
    LC_ALL=C grep -aqF "$windows_dir\\trozflash.exe" "$shortcut" ||
        fail "the Start-menu shortcut does not lead to $windows_dir\\trozflash.exe"
    echo "Start-menu shortcut: ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\TROZFlash.lnk"
else
    [ ! -e "$shortcut" ] || fail "a Start-menu shortcut without the window"
    echo "This build has no window (trozflash.exe): no Start-menu shortcut"
fi

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TROZFlash'
entry=$("$wine" reg query "$key" /reg:$view </dev/null 2>/dev/null | tr -d '\r') ||
    fail "no uninstall entry $key in the $view-bit registry view"
echo "$entry"
value() { echo "$entry" | awk -v name="$1" '$1 == name { sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, ""); print }'; }
[ "$(value DisplayName)" = TROZFlash ] || fail "DisplayName is '$(value DisplayName)'"
[ "$(value DisplayVersion)" = "$version" ] || fail "DisplayVersion is '$(value DisplayVersion)'"
[ "$(value Publisher)" = "The TROZFlash developers" ] || fail "Publisher is '$(value Publisher)'"
[ "$(value UninstallString)" = "\"$windows_dir\\uninstall.exe\"" ] ||
    fail "UninstallString is '$(value UninstallString)'"
[ "$(value QuietUninstallString)" = "\"$windows_dir\\uninstall.exe\" /S" ] ||
    fail "QuietUninstallString is '$(value QuietUninstallString)'"

echo "Uninstalling silently"
# The uninstaller copies itself away and runs from there: wait for every program to end.
"$wine" "$instdir/uninstall.exe" /S </dev/null || fail "the silent uninstall failed ($?)"
for _ in $(seq 1 60); do
    [ -e "$instdir" ] || break
    sleep 1
done
[ ! -e "$instdir" ] || fail "C:\\$program_files\\TROZFlash is still there: $(ls "$instdir" | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is still there"
if "$wine" reg query "$key" /reg:$view </dev/null >/dev/null 2>&1; then
    fail "the uninstall entry is still there"
fi
snapshot >"$WINEPREFIX/after.txt"
left=$(comm -13 "$WINEPREFIX/before.txt" "$WINEPREFIX/after.txt")
[ -z "$left" ] || fail "the uninstall left: $(echo "$left" | tr '\n' ' ')"

echo "Uninstalled: no file, shortcut or registry key left"
echo "$(basename "$setup"): $(stat -c %s "$setup") bytes; $(basename "$zip"): $(stat -c %s "$zip") bytes"
