#!/usr/bin/env bash
# Runs Sonorix from the build folder given as $1 (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
echo "Nothing to run yet."
