#!/usr/bin/env bash
# Installs the build folder $1 into a temporary prefix and builds its Debian
# package, then checks both hold exactly the expected files, that the menu
# entry and the AppStream file validate, and that every manual page renders
# without a warning.
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
share/doc/sonorix/readme.htm
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
share/man/man1/sonorix-list.1
share/man/man1/sonorix-probe.1
share/man/man1/sonorix.1
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
for page in "$prefix"/share/man/man1/*.1; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || echo "man failed")
    if [ -n "$warnings" ]; then
        fail "$(basename "$page") renders with warnings: $warnings"
    fi
    grep -q "Sonorix 4.1" "$page" || fail "$(basename "$page") names no version"
done
"$prefix/bin/sonorix-list" --version | grep -q '^Sonorix 4\.1' || fail "sonorix-list --version"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null) || fail "cpack"
deb=$(ls "$work"/package/sonorix_*.deb 2>/dev/null | head -1)
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
fi

[ "$failures" -eq 0 ]
