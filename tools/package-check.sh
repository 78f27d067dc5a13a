#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine the way the README says, checks what a
# desktop user relies on (commands, menu entry, icon, file type, manual pages, AppStream data),
# then removes it and checks that nothing is left. Needs root: CI runs it as root.
set -euo pipefail
cd "$(dirname "$0")/.."

package=propdump-editor
app_id=org.propdump.propedit
failures=0
checked=0
fail() {
    echo "package check FAILED: $*" >&2
    failures=$((failures + 1))
}
# Reports a group of checks as passed only when none failed since the last report.
pass() {
    [ "$failures" -eq "$checked" ] && echo "package check: $*"
    checked=$failures
}

tools/package.sh
build=build-package
deb="$(ls "$build"/${package}_*.deb)"

depends="$(dpkg-deb -f "$deb" Depends)"
for needed in libc6 libqt6widgets6 qt6-qpa-plugins; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
pass "Depends: $depends"

# apt reads a local package as its unprivileged user: give it a folder that user can read.
staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT
chmod 755 "$staging"
install -m 644 "$deb" "$staging/"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y "$package" >/dev/null
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y "$staging/$(basename "$deb")" \
    >"$staging/install.log" 2>&1 || { cat "$staging/install.log"; fail "apt-get install"; exit 1; }
pass "installed $(basename "$deb")"
installed_files="$(dpkg -L "$package")"

command -v propedit >/dev/null || fail "propedit is not on the PATH"
# The package must carry the command-line tool whenever this build made it.
targets="$(cmake --build "$build" --target help)"
if grep -qE '^(\.\.\. )?propdump$' <<<"$targets"; then
    if version="$(propdump --version)"; then
        [[ "$version" == *"$(dpkg-deb -f "$deb" Version)"* ]] ||
            fail "propdump --version names another version: $version"
        pass "propdump --version: $version"
    else
        fail "propdump --version did not run"
    fi
else
    echo "package check: this build has no propdump command; not checked"
fi

# Started on a file, the installed editor must still be running when the timeout stops it.
printf 'propdump version 4\r\n' >"$staging/start.propdump"
status=0
QT_QPA_PLATFORM=offscreen timeout 5 propedit "$staging/start.propdump" >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "propedit ended with status $status at start"
pass "propedit starts"

desktop=/usr/share/applications/$app_id.desktop
out="$(desktop-file-validate "$desktop" 2>&1)" && [ -z "$out" ] || fail "desktop entry: $out"
grep -qx 'Exec=propedit %f' "$desktop" || fail "desktop entry does not open a file with propedit"
pass "desktop entry valid"

out="$(appstreamcli validate --no-net /usr/share/metainfo/$app_id.metainfo.xml 2>&1)" ||
    fail "AppStream data: $out"
pass "AppStream data valid"

for size in 16 32 48 64 128 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    file -b "$icon" | grep -q "PNG image data, $size x $size" || fail "icon $icon"
done
[ -f /usr/share/icons/hicolor/scalable/apps/$app_id.svg ] || fail "scalable icon missing"
pass "icons installed"

for page in propedit propdump; do
    path=/usr/share/man/man1/$page.1.gz
    if [[ "$installed_files" != *"$path"* ]]; then
        [ "$page" = propedit ] && fail "no manual page propedit(1)"
        continue
    fi
    [ "$(man -w "$page")" = "$path" ] || fail "man finds another $page(1): $(man -w "$page")"
    warnings="$(MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null)" || fail "man $page failed"
    warnings+="$(zcat "$path" | groff -ww -z -man 2>&1)" || fail "groff failed on $page(1)"
    [ -z "$warnings" ] || fail "man $page: $warnings"
    pass "man $page shows without warnings"
done

# The type must come from the header line whatever the name, and from the names without it.
# The plain text file proves that the test can tell the difference.
mime_case() {
    local name="$1" content="$2" expected="$3" folder actual
    folder="$staging/mime"
    mkdir -p "$folder"
    printf '%b' "$content" >"$folder/$name"
    actual="$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION xdg-mime query filetype "$folder/$name")"
    [ "$actual" = "$expected" ] || fail "xdg-mime calls $name $actual, not $expected"
}
header='propdump version 4\r\n'
mime_case world-backup.dat "$header" text/x-propdump
mime_case world.propdump 'no header\r\n' text/x-propdump
mime_case propdump.txt 'no header\r\n' text/x-propdump
mime_case notes.dat 'propdump notes\n' text/plain
default="$(env -u XDG_CURRENT_DESKTOP xdg-mime query default text/x-propdump)"
[ "$default" = "$app_id.desktop" ] || fail "a propdump file opens with '$default'"
pass "file type recognised and opened by the editor"

DEBIAN_FRONTEND=noninteractive apt-get remove -y "$package" >"$staging/remove.log" 2>&1 ||
    { cat "$staging/remove.log"; fail "apt-get remove"; }
status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
[ -z "$status" ] || [[ "$status" == *not-installed ]] || fail "after removal the package is: $status"
while read -r path; do
    [ -d "$path" ] || [ ! -e "$path" ] || fail "left after removal: $path"
done <<<"$installed_files"
mime_case world-backup.dat "$header" text/plain
pass "removed cleanly"

if [ "$failures" -gt 0 ]; then
    echo "package check: $failures failure(s)" >&2
    exit 1
fi
echo "package check: all passed"
