#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) for TROZFlash, builds it, and then either
# flashes the bundled demo package into the virtual drive ("demo") or runs every test
# ("test"). Only missing packages are installed.
set -euo pipefail

cd "$(dirname "$0")/.."

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libcli11-dev nlohmann-json3-dev libsystemd-dev libsgutils2-dev libssl-dev
    qt6-base-dev fonts-dejavu-core bash-completion
    dbus-daemon python3-dbusmock
    libsgutils2-dev
)

source tools/install-missing.sh

# With targets, builds only those (the demo needs the command line and its package, not
# the window or the tests); without, everything.
build() {
    cmake --preset default >/dev/null
    cmake --build --preset default ${1:+--target "$@"}
}

case "${1:-}" in
    demo)
        install_missing "${packages[@]}"
        build trozflash-cli demo_package
        cli=build/default/cli/trozflash-cli
        export TROZFLASH_DRIVES=virtual
        # The virtual drives keep their state here, so the demo starts from the factory
        # firmware every time and shows the new revision after the flash.
        export XDG_STATE_HOME="$PWD/build/default/demo/state"
        rm -rf "$XDG_STATE_HOME"
        echo "== Drives before the update"
        "$cli" list
        echo "== Flashing the demo package into drive 0"
        "$cli" flash --drive 0 --yes --no-restart build/default/demo/kvw-a100a.tfs
        echo "== Drives after the update"
        "$cli" list
        ;;
    build)
        install_missing "${packages[@]}"
        build
        ;;
    test)
        install_missing "${packages[@]}"
        build
        ctest --preset default
        ;;
    *)
        echo "usage: $0 demo|build|test" >&2
        exit 2
        ;;
esac
