#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build (make fuzz) one after another.
#   fuzz/run.sh BUILD SECONDS [TARGET...]
# BUILD defaults to build-fuzz, SECONDS (per target) to 60, the targets to
# every fuzz_NAME program the build holds.
# Each target starts from its seed corpus (fuzz/corpus/NAME, never written)
# and keeps what it finds in BUILD/fuzz-work/NAME, reused by the next run. An
# input that crashes a target or breaks one of its checks is kept as
# BUILD/fuzz-work/NAME-crash-...; replay it with `BUILD/fuzz/fuzz_NAME FILE`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for exe in "$build"/fuzz/fuzz_*; do
        [ -x "$exe" ] && [ -f "$exe" ] && targets+=("${exe##*/fuzz_}")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "run.sh: no fuzz targets in $build/fuzz; build first (make fuzz)." >&2
    exit 1
fi

work=$build/fuzz-work
failed=()
for name in "${targets[@]}"; do
    exe=$build/fuzz/fuzz_$name
    if [ ! -x "$exe" ]; then
        echo "run.sh: $exe is missing; build first (make fuzz)." >&2
        exit 1
    fi
    mkdir -p "$work/$name"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
        -artifact_prefix="$work/$name-" -print_final_stats=1)
    # The probe needs room for the 32000-byte frame search and a tag before it.
    [ "$name" = probe ] && options+=(-max_len=40000)
    [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
    echo "== $name: $seconds s"
    if "$exe" "${options[@]}" "$work/$name" "fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
        grep -E '^stat::number_of_executed_units' "$work/$name.log" |
            sed "s/.*: */   clean, runs: /" || true
    else
        echo "   FAILED: see $work/$name.log" >&2
        grep -E 'ERROR|property does not hold|Test unit written' "$work/$name.log" >&2 || true
        failed+=("$name")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "run.sh: failed: ${failed[*]}" >&2
    exit 1
fi
