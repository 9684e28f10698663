#!/usr/bin/env bash
# Takes the README's pictures of the desktop program (not a test): makes the
# bundled samples in a sandbox home at a fixed place, /tmp/sonorix-screenshots
# (so the pictures show no build folder and come out the same from any
# checkout), starts the windows of the build folder $1 (default: build) on
# Qt's offscreen platform with that home, lists the samples with "Create
# &List" and saves the main window and the report window as
# docs/screenshots/main.png and report.png, then the dialogs
# (profile-options-*.png, options.png, info.png).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
build=$(build_folder screenshots.sh "${1:-build}" build)

shots=$build/app/sonorix-screenshots
make_samples=$build/samples/sonorix-make-samples
require_programs screenshots.sh build "$shots" "$make_samples"

sandbox=/tmp/sonorix-screenshots
rm -rf "$sandbox"
mkdir -p "$sandbox/home" "$sandbox/config" "$sandbox/data" "$sandbox/cache" "$sandbox/runtime"
chmod 700 "$sandbox/runtime"
"$make_samples" "$sandbox/home/Music" >/dev/null

HOME=$sandbox/home XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data \
    XDG_CACHE_HOME=$sandbox/cache XDG_RUNTIME_DIR=$sandbox/runtime QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 \
    "$shots" "$sandbox/home/Music" "$sandbox/home/Music-list" docs/screenshots
echo "Wrote the pictures of the windows into docs/screenshots/"
