#!/bin/sh
# Shows trozflash on the built-in virtual drives under a virtual X server and saves a picture
# of its window. Builds nothing.
#   tools/screenshot.sh BUILD_DIR [PICTURE]     (PICTURE defaults to docs/window.png)
# Needs: xvfb x11-apps imagemagick.
set -eu

build=${1:?usage: tools/screenshot.sh BUILD_DIR [PICTURE]}
picture=${2:-docs/window.png}
program=$build/app/trozflash
if [ ! -x "$program" ]; then
    echo "screenshot: $program not found; build the trozflash target first" >&2
    exit 1
fi

# A runtime directory of its own: a copy of the tool running on this desktop would
# otherwise make this one end at once. The virtual drives start from their first firmware.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"

# With no window manager there is no frame: the window's client area sits at 400,166.
XDG_RUNTIME_DIR=$runtime XDG_STATE_HOME=$runtime TROZFLASH_DRIVES=virtual QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s '-screen 0 800x600x24' sh -c '
        "$1" &
        app=$!
        sleep 2
        xwd -root -silent | /usr/bin/convert xwd:- -crop 267x292+400+166 +repage "$2"
        kill "$app"
        wait "$app" 2>/dev/null || true
    ' screenshot "$program" "$picture"
echo "screenshot: saved $picture"
