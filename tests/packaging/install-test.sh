#!/usr/bin/env bash
# Installs the build folder $1 into a temporary prefix and builds its Debian
# package, then checks both hold exactly the expected files, that the menu
# entry and the AppStream file validate, that every manual page renders
# without a warning, and that a second package with the same
# SOURCE_DATE_EPOCH is the same bytes; lintian and hardening-check judge the
# package and the programs when they are installed.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

expected=$(
    cat <<'LIST'
bin/sonorix
bin/sonorix-list
bin/sonorix-probe
share/applications/org.example.Sonorix.desktop
share/bash-completion/completions/sonorix-list
share/bash-completion/completions/sonorix-probe
share/doc/sonorix/changelog.gz
share/doc/sonorix/copyright
share/doc/sonorix/readme.htm
share/doc/sonorix/screenshots/html-list-full.png
share/doc/sonorix/screenshots/html-list.png
share/doc/sonorix/screenshots/info.png
share/doc/sonorix/screenshots/main.png
share/doc/sonorix/screenshots/options.png
share/doc/sonorix/screenshots/profile-options-html.png
share/doc/sonorix/screenshots/profile-options-list-items.png
share/doc/sonorix/screenshots/profile-options-misc.png
share/doc/sonorix/screenshots/report.png
share/icons/hicolor/256x256/apps/sonorix.png
share/icons/hicolor/scalable/apps/sonorix.svg
share/lintian/overrides/sonorix
share/man/man1/sonorix-list.1.gz
share/man/man1/sonorix-probe.1.gz
share/man/man1/sonorix.1.gz
share/metainfo/org.example.Sonorix.metainfo.xml
LIST
)

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
installed=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
    fail "installed files differ from the expected ones:"
    diff <(echo "$expected") <(echo "$installed") >&2 || true
fi

desktop-file-validate "$prefix/share/applications/org.example.Sonorix.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.Sonorix.metainfo.xml" \
    >"$work/appstream.txt" 2>&1 || {
    cat "$work/appstream.txt" >&2
    fail "appstreamcli validate"
}
grep -q '^MimeType=' "$prefix/share/applications/org.example.Sonorix.desktop" &&
    fail "the menu entry claims a file type"
for page in "$prefix"/share/man/man1/*.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || echo "man failed")
    if [ -n "$warnings" ]; then
        fail "$(basename "$page") renders with warnings: $warnings"
    fi
    zgrep -q "Sonorix 4.1" "$page" || fail "$(basename "$page") names no version"
done
"$prefix/bin/sonorix-list" --version | grep -q '^Sonorix 4\.1' || fail "sonorix-list --version"

# Two packages of the same build, some time apart, with the changelog's time.
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null) || fail "cpack"
sleep 1
(cd "$build" && cpack -G DEB -B "$work/again" >/dev/null) || fail "cpack again"
deb=$(ls "$work"/package/sonorix_*.deb 2>/dev/null | head -1)
cmp -s "$deb" "$(ls "$work"/again/sonorix_*.deb 2>/dev/null | head -1)" ||
    fail "a second package of the same build differs"
if [ -z "$deb" ]; then
    fail "no package was made"
else
    packaged=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | grep -v '/$' |
        sed 's|^\./usr/||' | LC_ALL=C sort)
    if [ "$packaged" != "$expected" ]; then
        fail "the package's files differ from the expected ones:"
        diff <(echo "$expected") <(echo "$packaged") >&2 || true
    fi
    depends=$(dpkg-deb --field "$deb" Depends)
    case $depends in
    *libqt6widgets6*libsqlite3* | *libsqlite3*libqt6widgets6*) ;;
    *) fail "dependencies from dpkg-shlibdeps are missing: '$depends'" ;;
    esac
    if command -v lintian >/dev/null; then
        # Errors and warnings fail; the pedantic and informational tags are
        # shown.
        lintian --pedantic --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
        cat "$work/lintian.txt" >&2
        if grep -q -E '^[EW]: ' "$work/lintian.txt"; then
            fail "lintian"
        fi
    fi
    # Sanitizer and unoptimised builds are built without the protections.
    if [ "${SONORIX_HARDENED:-OFF}" = ON ] && command -v hardening-check >/dev/null; then
        # The five protections Debian's hardening flags give. Not the
        # control-flow marks: Debian 12's C library start files have none,
        # so no program linked there can carry them. "Only unprotected
        # functions found" means the compiler saw no call whose sizes it had
        # to check (sonorix-probe copies only into buffers of sizes it cannot
        # know); no flag is missing then.
        for program in "$prefix"/bin/*; do
            report=$(hardening-check --verbose "$program" || true)
            for check in "Position Independent Executable" "Stack protected" \
                "Fortify Source functions" "Read-only relocations" "Immediate binding"; do
                line=$(grep "^ $check: " <<<"$report" || echo " $check: not reported")
                case $line in
                *": yes"* | *"Fortify Source functions: no, only unprotected functions found"*) ;;
                *) fail "hardening-check $(basename "$program"):$line" ;;
                esac
            done
        done
    fi
fi

[ "$failures" -eq 0 ]
