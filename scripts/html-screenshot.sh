#!/usr/bin/env bash
# Takes the README's picture of an HTML list as a browser shows it (not a
# test): lists the bundled samples with the Default profile and the programs
# of the build folder $1 (default: build) in a sandbox home at a fixed place,
# /tmp/sonorix-screenshots (so the picture shows no build folder), and renders
# the page with headless Chromium into docs/screenshots/html-list.png.
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
mkdir -p "$sandbox/home" "$sandbox/config" "$sandbox/data"
"$make_samples" "$sandbox/home/Music" >/dev/null
HOME=$sandbox/home XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data \
    "$list" -q "$sandbox/home/Music" "$sandbox/samples-list.html"

# Chromium as root needs --no-sandbox; its profile stays in the sandbox too.
HOME=$sandbox/home "$browser" --headless=new --no-sandbox --disable-gpu --hide-scrollbars \
    --user-data-dir="$sandbox/chromium" --window-size=1100,430 \
    --screenshot="$PWD/docs/screenshots/html-list.png" "file://$sandbox/samples-list.html" \
    2>/dev/null
echo "Wrote docs/screenshots/html-list.png"
