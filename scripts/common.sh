# Sourced by the run and benchmark scripts.

# Prints the absolute path of the build folder $2 (default: build), or stops
# with a message naming the script $1 and the make target $3 to build first.
build_folder() {
    if [ ! -d "${2:-build}" ]; then
        echo "$1: no build folder '${2:-build}'; build first (make $3)." >&2
        exit 1
    fi
    (cd "${2:-build}" && pwd)
}
