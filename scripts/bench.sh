#!/usr/bin/env bash
# Benchmark: times sonorix-list against the floor program on a generated
# corpus of real MP3 files. $1 is the build folder (default: build); further
# arguments go to sonorix-bench (--files N --folders M --rounds R --corpus DIR).
# Corpus, seed cache, settings store and lists live in BUILD/bench-work/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
build=$(build_folder bench.sh "${1:-build}" bench)
shift || true

require_programs bench.sh bench "$build/bench/sonorix-bench" "$build/bench/sonorix-bench-floor" \
    "$build/cli/sonorix-list"
if ! command -v lame >/dev/null; then
    echo "bench.sh: the encoder 'lame' is missing: scripts/install-deps.sh bench/packages.txt" >&2
    exit 1
fi
exec "$build/bench/sonorix-bench" --work "$build/bench-work" \
    --list "$build/cli/sonorix-list" --floor "$build/bench/sonorix-bench-floor" "$@"
