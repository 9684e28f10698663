#!/usr/bin/env bash
# Runs Sonorix from the build folder given as $1 (default: build): makes the
# bundled samples in samples/generated/ and shows what sonorix-probe reads
# from two of them. With a display (DISPLAY or WAYLAND_DISPLAY) it then starts
# the desktop program with the samples folder in its source box; without one
# it lists the samples with sonorix-list into the build folder (an HTML page
# with the Default profile, the same page in full analysis with the wave
# file, and a CSV with all twenty columns). Both keep
# their settings store, desktop entry and scan cache in BUILD/run-home/,
# never in the user's own.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
build=$(build_folder run.sh "${1:-build}" run)
samples=$PWD/samples/generated

make_samples=$build/samples/sonorix-make-samples
require_programs run.sh run "$make_samples"
rm -rf "$samples"
"$make_samples" "$samples"

probe=$build/cli/sonorix-probe
if [ -x "$probe" ]; then
    echo
    echo "What sonorix-probe reads from two samples (abridged):"
    "$probe" "$samples/Rock/02 - Night Freight.mp3" \
        "$samples/Spoken Word/Radio Play - Episode 1.mp3" |
        grep -a -E '^(FileName|Valid|VersionText|LayerText|BitrateText|SampleRateText|ModeText|DurationText|EncoderText|VariableBitrate|RiffWrapped|Title|Artist|Genre|Track)=|^$' ||
        true
else
    echo "Skipping the probe: $probe is not built yet."
fi

home=$build/run-home
mkdir -p "$home/config" "$home/data" "$home/cache"

desktop=$build/app/sonorix
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    if [ -x "$desktop" ]; then
        echo
        echo "Starting the desktop program on $samples"
        echo "(settings in $home)."
        XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache \
            exec "$desktop" "$samples"
    fi
    echo
    echo "A display is available, but $desktop is not built yet;"
    echo "writing the lists instead."
fi

list=$build/cli/sonorix-list
if [ ! -x "$list" ]; then
    echo
    echo "Skipping the lists: $list is not built yet."
    exit 0
fi
html=$build/samples-list.html
full=$build/samples-list-full.html
csv=$build/samples-list.csv
run_list() {
    XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache "$list" "$@"
}
all_columns=$("$list" --list-columns | paste -sd, -)
run_list -q -s Default "$samples" "$html"
run_list -q -s Default --analysis full -e mp3,wav "$samples" "$full"
run_list -q -s Default -f csv -c "$all_columns" "$samples" "$csv"
echo
echo "Lists of $samples:"
echo "  HTML (Default profile): $html"
echo "  HTML (the same, full analysis, also .wav files): $full"
echo "  CSV (all twenty columns): $csv"
echo
cat "$csv"
