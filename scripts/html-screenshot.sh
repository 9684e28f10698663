#!/usr/bin/env bash
# Takes the README's pictures of HTML lists as a browser shows them (not a
# test): lists the bundled samples with the Default profile and the programs
# of the build folder $1 (default: build) in a sandbox home at a fixed place,
# /tmp/sonorix-screenshots (so the pictures show no build folder), once with
# the classic analysis and once with full analysis (also the .wav files), and
# renders the pages with headless Chromium into docs/screenshots/html-list.png
# and html-list-full.png.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
build=$(build_folder html-screenshot.sh "${1:-build}" build)

list=$build/cli/sonorix-list
make_samples=$build/samples/sonorix-make-samples
require_programs html-screenshot.sh build "$list" "$make_samples"
browser=$(command -v chromium || true)
if [ -z "$browser" ]; then
    echo "html-screenshot.sh: chromium is missing: scripts/install-deps.sh scripts/screenshot-packages.txt" >&2
    exit 1
fi

sandbox=/tmp/sonorix-screenshots
rm -rf "$sandbox"
mkdir -p "$sandbox/home" "$sandbox/config" "$sandbox/data" "$sandbox/cache"
"$make_samples" "$sandbox/home/Music" >/dev/null
# shoot PICTURE HEIGHT [sonorix-list options]: lists the samples into a page
# and renders it at 1100 pixels wide.
shoot() {
    local picture=$1 height=$2
    shift 2
    HOME=$sandbox/home XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data \
        XDG_CACHE_HOME=$sandbox/cache "$list" -q "$@" "$sandbox/home/Music" "$sandbox/$picture.html"
    # Chromium as root needs --no-sandbox; its profile stays in the sandbox too.
    HOME=$sandbox/home "$browser" --headless=new --no-sandbox --disable-gpu --hide-scrollbars \
        --user-data-dir="$sandbox/chromium" --window-size=1100,"$height" \
        --screenshot="$PWD/docs/screenshots/$picture.png" "file://$sandbox/$picture.html" \
        2>/dev/null
    echo "Wrote docs/screenshots/$picture.png"
}
shoot html-list 500
shoot html-list-full 530 --analysis full -e mp3,wav
