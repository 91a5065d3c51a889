#!/usr/bin/env bash
# Builds the Debian package of TROZFlash (as root on Debian 12): installs what is missing,
# builds both programs with Debian's hardening flags in build/package, packs
# build/package/trozflash_<version>_<arch>.deb with CPack, and checks it: the desktop entry
# with desktop-file-validate, the metainfo with appstreamcli, the whole package with
# lintian (which must report no error).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/install-missing.sh

install_missing cmake ninja-build g++ pkg-config libcli11-dev nlohmann-json3-dev \
    libsystemd-dev libsgutils2-dev libssl-dev qt6-base-dev fonts-dejavu-core \
    dpkg-dev file lintian desktop-file-utils appstream

build=build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
# Build type None: only Debian's flags, as its own packages are built.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DTROZ_BUILD_TESTS=OFF -DTROZ_BUILD_DEVICE_PROGRAMS=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/trozflash_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/trozflash_*.deb)

echo "== Checking $deb"
contents="$build/contents"
rm -rf "$contents"
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents/usr/share/applications/trozflash.desktop"
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
# lintian reports no warning today. Below that level it notes only
# binary-has-unneeded-section .comment: the compiler's version string, which CPack's strip
# leaves in; it costs a few bytes.
lintian --fail-on error --display-level '>=warning' "$deb"
echo "Built $deb"
