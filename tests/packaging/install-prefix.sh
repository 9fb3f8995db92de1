#!/usr/bin/env bash
# cmake --install into a temporary prefix gives a dovlek that works with the installed keyword
# file, a desktop entry, an icon and a man page, and a reinstall keeps an edited keyword file.
# Usage: install-prefix.sh BUILD_DIR SOURCE_DIR GUI(ON|OFF)
set -uo pipefail
BUILD_DIR=$1 SOURCE_DIR=$2 GUI=$3
. "$(dirname "$0")/common.sh"

T=$(mktemp -d /tmp/pellomar-install-XXXXXX)
trap 'rm -rf "$T"' EXIT
prefix=$T/home/.local   # the per-user install of the user guide

if ! cmake --install "$BUILD_DIR" --prefix "$prefix" >"$T/install.log" 2>&1; then
    cat "$T/install.log" >&2
    fail "cmake --install"
    finish
fi

# What lands where: path, then what it must be.
layout=(
    "lib/pellomar/dovlek|executable"
    "lib/pellomar/KEYWORD_ARRANGE.CSV|the default keyword file"
    "share/pellomar/KEYWORD_ARRANGE.CSV|the default keyword file"
    "bin/dovlek|symlink ../lib/pellomar/dovlek"
    "share/applications/pellomar.desktop|file"
    "share/icons/hicolor/scalable/apps/pellomar.svg|file"
    "share/man/man1/dovlek.1|file"
    "${doc_layout[@]}"
)
# The desktop front end is a module that dovlek loads from beside its real path.
[[ $GUI == ON ]] && layout+=("lib/pellomar/libpellomar-desktop.so|file")
check_layout "$prefix" "${layout[@]}"

check_doc_links "$prefix/share/doc/pellomar"

# The prefix's bin/ is not on this PATH: the install says so, and how to check.
grep -qF "$prefix/bin is not on your PATH" "$T/install.log" && pass "install names the missing PATH entry" ||
    fail "install does not say that $prefix/bin is not on PATH"

# The keyword file is the user's: writable by whoever installed it, without root.
kw=$prefix/lib/pellomar/KEYWORD_ARRANGE.CSV
[[ -O $kw && $(stat -c %a "$kw") == 644 ]] && pass "keyword file is the installer's, mode 644" ||
    fail "keyword file owner/mode: $(stat -c '%U %a' "$kw")"

# The desktop entry starts the installed program by its full path, without a terminal.
entry=$prefix/share/applications/pellomar.desktop
for line in "Exec=$prefix/bin/dovlek" "Terminal=false" "Icon=pellomar" "Type=Application" \
    "Name=Lay out SQL on the clipboard" "Exec=$prefix/bin/dovlek DEBUG"; do
    grep -qxF "$line" "$entry" && pass "desktop entry has $line" || fail "desktop entry lacks $line"
done
if command -v desktop-file-validate >/dev/null; then
    msgs=$(desktop-file-validate "$entry" 2>&1)
    expect_eq "desktop-file-validate is silent" "" "$msgs"
else
    fail "desktop-file-validate is missing (scripts/setup.sh package)"
fi

# The man page renders without a single groff warning.
warnings=$(groff -man -ww -z -K utf8 "$prefix/share/man/man1/dovlek.1" 2>&1)
expect_eq "man page renders cleanly" "" "$warnings"

# The program, started through the bin/ symlink (and through a second symlink the user might
# make), from an unrelated directory, reads the keyword file beside the real executable.
mkdir -p "$T/home/bin"
ln -s "$prefix/bin/dovlek" "$T/home/bin/dovlek"
cd "$T"
check_samples "bin symlink" env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/dovlek"
check_samples "symlink to symlink" env -u DISPLAY -u WAYLAND_DISPLAY "$T/home/bin/dovlek"

if [[ $GUI == ON ]] && command -v Xvfb >/dev/null && command -v xclip >/dev/null; then
    check_x11_clipboard "bin symlink" "$prefix/bin/dovlek"
elif [[ $GUI == ON ]]; then
    fail "Xvfb and xclip are needed for the clipboard check (scripts/setup.sh test)"
fi

# A prefix with a space: the desktop entry quotes the path as the Exec key requires.
spaced="$T/my tools"
if cmake --install "$BUILD_DIR" --prefix "$spaced" >"$T/install-spaced.log" 2>&1; then
    entry="$spaced/share/applications/pellomar.desktop"
    grep -qxF "Exec=\"$spaced/bin/dovlek\"" "$entry" && pass "spaced prefix: Exec is quoted" ||
        fail "spaced prefix: $(grep '^Exec=' "$entry" | head -1)"
    expect_eq "spaced prefix: desktop-file-validate is silent" "" "$(desktop-file-validate "$entry" 2>&1)"
    out=$(printf 'select a from t' | env -u DISPLAY -u WAYLAND_DISPLAY "$spaced/bin/dovlek")
    expect_eq "spaced prefix: dovlek runs" "$(printf 'select\n    a\nfrom\n    t')" "$out"
else
    cat "$T/install-spaced.log" >&2
    fail "cmake --install into a prefix with a space"
fi

# The user edits the keyword file; a later install keeps the edit and says so.
printf 'KEYWORD,INDENT,LINEHEAD\nselect,1,1\nfrom,1,1\n' >"$kw"
edited=$(cat "$kw")
cmake --install "$BUILD_DIR" --prefix "$prefix" >"$T/reinstall.log" 2>&1 || fail "second install"
expect_eq "reinstall keeps the edited keyword file" "$edited" "$(cat "$kw")"
grep -q "Keeping your keyword file: $kw" "$T/reinstall.log" && pass "reinstall says it kept the file" ||
    fail "reinstall does not say it kept the file"
out=$(printf 'select a from t left join u on u.id = t.id' |
    env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/dovlek")
expect_eq "the edited rows take effect" "$(printf 'select\n    a\nfrom\n    t left join u on u.id = t.id')" "$out"

# Without its keyword file the installed program names the path it looked for.
rm "$kw"
out=$(printf 'select 1' | env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/dovlek" 2>"$T/err")
status=$?
expect_eq "missing keyword file: exit status" 1 "$status"
expect_eq "missing keyword file: nothing written" "" "$out"
expect_eq "missing keyword file: message" "Pellomar: 53:File not found: $kw" "$(cat "$T/err")"

finish
