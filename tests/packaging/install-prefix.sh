#!/usr/bin/env bash
# cmake --install into a temporary prefix gives a dovlek that works with the installed keyword
# file, a desktop entry, an icon and a man page; a reinstall keeps an edited keyword file and
# replaces one that is still an earlier default.
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

# An install over an earlier one: the keyword file beside the program and the pristine copy in
# share/ as the earlier install (or the user) left them, then what this install makes of them.
# name | the keyword file | the copy in share/ | outcome
first_default=$'KEYWORD,INDENT,LINEHEAD\r\nselect,1,1\r\nfrom,1,1\r\nwhere,1,1\r\n",",1,0\r\n'
upgrade_cases=(
    "the previous default, unedited|previous|previous|replaced"
    "the previous default with LF line ends, share/ copy gone|previous-lf|none|replaced"
    "an unlisted earlier default, as share/ holds it|first|first|replaced"
    "the previous default, edited|edited|previous|kept"
    "the previous default, edited by an added last line in LF|edited-lf|previous|kept"
    "a symlink to an unedited previous default|symlink|previous|kept"
    "already the new default|current|current|up-to-date"
)
# keyword_text KIND: the bytes of the keyword file an earlier install or the user left.
keyword_text() {
    case $1 in
        previous) cat "$previous_default" ;;
        previous-lf) tr -d '\r' <"$previous_default" ;;
        first) printf '%s' "$first_default" ;;
        edited) cat "$previous_default" && printf 'my,1,1\r\n' ;;
        edited-lf) cat "$previous_default" && printf 'my,1,1\n' ;;
        current) cat "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" ;;
    esac
}
n=0
for row in "${upgrade_cases[@]}"; do
    IFS='|' read -r name mine pristine outcome <<<"$row"
    n=$((n + 1))
    up=$T/upgrade-$n
    cmake --install "$BUILD_DIR" --prefix "$up" >"$T/upgrade-$n-first.log" 2>&1 ||
        { fail "$name: first install"; continue; }
    ukw=$up/lib/pellomar/KEYWORD_ARRANGE.CSV
    if [[ $mine == symlink ]]; then
        keyword_text previous >"$T/linked-$n.csv"
        rm "$ukw" && ln -s "$T/linked-$n.csv" "$ukw"
    else
        keyword_text "$mine" >"$ukw"
    fi
    if [[ $pristine == none ]]; then
        rm "$up/share/pellomar/KEYWORD_ARRANGE.CSV"
    else
        keyword_text "$pristine" >"$up/share/pellomar/KEYWORD_ARRANGE.CSV"
    fi
    before=$(od -An -tx1 "$ukw")
    log=$T/upgrade-$n.log
    cmake --install "$BUILD_DIR" --prefix "$up" >"$log" 2>&1 || { cat "$log" >&2; fail "$name: install"; }
    out=$(printf '%s' "$upgrade_query" | env -u DISPLAY -u WAYLAND_DISPLAY "$up/bin/dovlek" 2>&1)
    case $outcome in
        replaced)
            cmp -s "$ukw" "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" && pass "$name: replaced by the new default" ||
                fail "$name: not replaced by the new default"
            grep -qF "Replacing your unedited keyword file with the new default: $ukw" "$log" &&
                pass "$name: the install says so" || fail "$name: the install does not say it replaced it"
            expect_eq "$name: laid out by the new default" "$upgrade_new" "$out"
            ;;
        kept)
            expect_eq "$name: kept as it was" "$before" "$(od -An -tx1 "$ukw")"
            grep -qF "Keeping your keyword file: $ukw" "$log" && pass "$name: the install says so" ||
                fail "$name: the install does not say it kept it"
            expect_eq "$name: still laid out by its own classic rows" "$upgrade_old" "$out"
            ;;
        up-to-date)
            cmp -s "$ukw" "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" && pass "$name: still the new default" ||
                fail "$name: changed"
            grep -qF "Up-to-date: $ukw" "$log" && pass "$name: the install says it is up to date" ||
                fail "$name: the install does not say it is up to date"
            expect_eq "$name: laid out by the new default" "$upgrade_new" "$out"
            ;;
    esac
    if [[ $mine == symlink ]]; then
        [[ -L $ukw && $(readlink "$ukw") == "$T/linked-$n.csv" ]] && pass "$name: still the user's symlink" ||
            fail "$name: the symlink was replaced"
    fi
    cmp -s "$up/share/pellomar/KEYWORD_ARRANGE.CSV" "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" &&
        pass "$name: share/ holds the new default" || fail "$name: share/ does not hold the new default"
done

finish
