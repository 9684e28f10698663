#!/usr/bin/env bash
# Fails when two tracked paths differ only in letter case ("app/Main.cpp" and
# "app/main.cpp", or two folders "Docs/" and "docs/"): a checkout on a
# case-insensitive file system keeps only one of them, and the build breaks
# there. Folders count as well as files. Prints each clash, one path a line.
#   scripts/check-path-case.sh
set -euo pipefail
cd "$(dirname "$0")/.."
clashes=$(git -c core.quotepath=off ls-files |
    awk -F/ '{ path = $1; print path; for (i = 2; i <= NF; i++) { path = path "/" $i; print path } }' |
    sort -u | awk '{ key = tolower($0); if (key in first) { if (!(key in shown)) { print first[key]; shown[key] = 1 } print } else first[key] = $0 }')
if [ -n "$clashes" ]; then
    echo "check-path-case.sh: tracked paths that differ only in letter case:" >&2
    printf '%s\n' "$clashes" | sed 's/^/   /' >&2
    exit 1
fi
