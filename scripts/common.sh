# Sourced by the run, benchmark and screenshot scripts.

# Prints the absolute path of the build folder $2 (default: build), or stops
# with a message naming the script $1 and the make target $3 to build first.
build_folder() {
    if [ ! -d "${2:-build}" ]; then
        echo "$1: no build folder '${2:-build}'; build first (make $3)." >&2
        exit 1
    fi
    (cd "${2:-build}" && pwd)
}

# Stops with a message naming the script $1 and the make target $2 unless
# every program named after them is built.
require_programs() {
    local script=$1 target=$2
    shift 2
    for program in "$@"; do
        if [ ! -x "$program" ]; then
            echo "$script: $program is missing; build first (make $target)." >&2
            exit 1
        fi
    done
}
