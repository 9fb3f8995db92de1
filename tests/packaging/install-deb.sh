#!/usr/bin/env bash
# The Debian package: its control data, its files, and the installed dovlek, run inside a
# throwaway root that dpkg installed the package into (the host's libraries stand in for the
# declared dependencies). dpkg keeps an edited keyword file across a reinstall.
# Usage: install-deb.sh BUILD_DIR SOURCE_DIR GUI(ON|OFF)
set -uo pipefail
BUILD_DIR=$1 SOURCE_DIR=$2 GUI=$3
. "$(dirname "$0")/common.sh"
need cpack dpkg dpkg-deb dpkg-shlibdeps unshare chroot
[[ $(id -u) == 0 ]] || { echo "SKIP: installing into a root with dpkg needs root" >&2; exit 77; }
# Running the installed program needs a private mount namespace for its chroot; without one
# (a container without CAP_SYS_ADMIN) the package is still built, installed and checked.
can_run=1
unshare --mount --propagation private true 2>/dev/null || can_run=0

T=$(mktemp -d /tmp/pellomar-deb-XXXXXX)
R=$T/root
cleanup() {
    # Mounts live in the test's private mount namespace and are gone with it; the tree is ours.
    rm -rf "$T"
}
trap cleanup EXIT

if ! cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$T/pkg" >"$T/cpack.log" 2>&1; then
    cat "$T/cpack.log" >&2
    fail "cpack -G DEB"
    finish
fi
debs=("$T"/pkg/pellomar_*.deb)
expect_eq "cpack made one package" 1 "${#debs[@]}"
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
expect_eq "package name" pellomar "$(field Package)"
expect_eq "architecture" "$(dpkg --print-architecture)" "$(field Architecture)"
expect_eq "maintainer" "Pellomar developers <maintainers@pellomar.invalid>" "$(field Maintainer)"
[[ $(field Depends) == *"libstdc++6"* ]] && pass "Depends has the C++ runtime (shlibdeps)" ||
    fail "Depends lacks libstdc++6: $(field Depends)"
if [[ $GUI == ON ]]; then
    for dep in qt6-qpa-plugins libqt6widgets6 libxcb1 libxcb-xfixes0; do
        [[ $(field Depends) == *"$dep"* ]] && pass "Depends has $dep" ||
            fail "Depends lacks $dep: $(field Depends)"
    done
    for rec in qt6-wayland fonts-noto-cjk wl-clipboard; do
        [[ $(field Recommends) == *"$rec"* ]] && pass "Recommends has $rec" ||
            fail "Recommends lacks $rec: $(field Recommends)"
    done
fi
# lintian reports no errors. Its warnings are listed here when there are any; the two about
# ldconfig come from CPack, which calls it for any shared object under /usr/lib, here the
# program's private modules in /usr/lib/pellomar.
if command -v lintian >/dev/null; then
    lintian "$deb" >"$T/lintian.log" 2>&1
    if grep -q '^E: ' "$T/lintian.log"; then
        cat "$T/lintian.log" >&2
        fail "lintian reports errors"
    else
        pass "lintian reports no errors"
        grep '^W: ' "$T/lintian.log" | grep -v 'maintscript-calls-ldconfig' | sed 's/^/note: /' >&2
    fi
else
    fail "lintian is missing (scripts/setup.sh package)"
fi
mkdir -p "$T/control"
dpkg-deb -e "$deb" "$T/control"
expect_eq "conffiles" "/etc/pellomar/KEYWORD_ARRANGE.CSV" "$(cat "$T/control/conffiles")"

# Install into an empty root with its own dpkg database. The dependencies are not in that
# database; the host's libraries are bind-mounted in below instead.
mkdir -p "$R/var/lib/dpkg/info" "$R/var/lib/dpkg/updates" "$R/var/lib/dpkg/triggers"
touch "$R/var/lib/dpkg/status" "$R/var/lib/dpkg/available"
dpkg_root() { dpkg --root="$R" --force-depends --force-script-chrootless "$@"; }
if ! dpkg_root -i "$deb" >"$T/dpkg.log" 2>&1; then
    cat "$T/dpkg.log" >&2
    fail "dpkg -i into the throwaway root"
    finish
fi
pass "dpkg installed the package into $R"

layout=(
    "usr/lib/pellomar/dovlek|executable"
    "usr/lib/pellomar/KEYWORD_ARRANGE.CSV|symlink /etc/pellomar/KEYWORD_ARRANGE.CSV"
    "etc/pellomar/KEYWORD_ARRANGE.CSV|the default keyword file"
    "usr/share/pellomar/KEYWORD_ARRANGE.CSV|the default keyword file"
    "usr/bin/dovlek|symlink ../lib/pellomar/dovlek"
    "usr/share/applications/pellomar.desktop|file"
    "usr/share/icons/hicolor/scalable/apps/pellomar.svg|file"
    "usr/share/man/man1/dovlek.1.gz|file"
    "usr/share/doc/pellomar/changelog.gz|file"
    "${doc_layout[@]/#share/usr/share}"
)
# The desktop front end is a module that dovlek loads from beside its real path.
[[ $GUI == ON ]] && layout+=("usr/lib/pellomar/libpellomar-desktop.so|file")
check_layout "$R" "${layout[@]}"
check_doc_links "$R/usr/share/doc/pellomar"
expect_eq "the changelog's version is the package's" "$(field Version)" \
    "$(zcat "$R/usr/share/doc/pellomar/changelog.gz" | sed -n '1s/^pellomar (\(.*\)).*/\1/p')"
grep -qxF "Exec=/usr/bin/dovlek" "$R/usr/share/applications/pellomar.desktop" &&
    pass "desktop entry runs /usr/bin/dovlek" || fail "desktop entry Exec is not /usr/bin/dovlek"

in_root=(bash "$(dirname "$0")/in-root.sh" --host-libs "$R")
if [[ ! -e /usr/lib/x86_64-linux-gnu/libc.so.6 ]]; then
    echo "note: the host libraries are not where in-root.sh binds them from; not run" >&2
    can_run=0
elif ((!can_run)); then
    echo "note: no private mount namespace (unshare --mount); the installed dovlek is not run" >&2
fi
if ((can_run)); then
    check_samples "installed package" env -u DISPLAY -u WAYLAND_DISPLAY "${in_root[@]}" /usr/bin/dovlek
    if [[ $GUI == ON ]] && command -v Xvfb >/dev/null && command -v xclip >/dev/null; then
        check_x11_clipboard "installed package" "${in_root[@]}" /usr/bin/dovlek
    elif [[ $GUI == ON ]]; then
        fail "Xvfb and xclip are needed for the clipboard check (scripts/setup.sh test)"
    fi
fi

# The user edits the configuration file; reinstalling the package keeps the edit.
printf 'KEYWORD,INDENT,LINEHEAD\nselect,1,1\nfrom,1,1\n' >"$R/etc/pellomar/KEYWORD_ARRANGE.CSV"
edited=$(cat "$R/etc/pellomar/KEYWORD_ARRANGE.CSV")
dpkg_root -i "$deb" >"$T/dpkg2.log" 2>&1 || { cat "$T/dpkg2.log" >&2; fail "dpkg reinstall"; }
expect_eq "reinstall keeps the edited conffile" "$edited" "$(cat "$R/etc/pellomar/KEYWORD_ARRANGE.CSV")"
if ((can_run)); then
    out=$(printf 'select a from t left join u on u.id = t.id' |
        env -u DISPLAY -u WAYLAND_DISPLAY "${in_root[@]}" /usr/bin/dovlek)
    expect_eq "the edited rows take effect" \
        "$(printf 'select\n    a\nfrom\n    t left join u on u.id = t.id')" "$out"
fi

# A deleted keyword file comes back from the same .deb only when dpkg is told to (the user
# guide's repair for a package installed from a local file).
rm "$R/etc/pellomar/KEYWORD_ARRANGE.CSV"
dpkg_root -i "$deb" >"$T/dpkg3.log" 2>&1 || { cat "$T/dpkg3.log" >&2; fail "dpkg reinstall"; }
[[ ! -e $R/etc/pellomar/KEYWORD_ARRANGE.CSV ]] && pass "a plain reinstall leaves a deleted conffile deleted" ||
    fail "a plain reinstall brought the deleted conffile back"
dpkg_root -i --force-confmiss "$deb" >"$T/dpkg4.log" 2>&1 || { cat "$T/dpkg4.log" >&2; fail "dpkg -i --force-confmiss"; }
check_layout "$R" "etc/pellomar/KEYWORD_ARRANGE.CSV|the default keyword file"

# Removing the package leaves the edited configuration file; purging removes it.
dpkg_root -r pellomar >/dev/null 2>&1 || fail "dpkg -r"
[[ -f $R/etc/pellomar/KEYWORD_ARRANGE.CSV && ! -e $R/usr/lib/pellomar/dovlek ]] &&
    pass "remove keeps /etc/pellomar/KEYWORD_ARRANGE.CSV" || fail "remove did not keep the conffile"
dpkg_root -P pellomar >/dev/null 2>&1 || fail "dpkg -P"
[[ ! -e $R/etc/pellomar/KEYWORD_ARRANGE.CSV ]] && pass "purge removes the conffile" ||
    fail "purge left the conffile"

# The declared dependencies resolve with apt (a fresh Debian 12 installs the package with
# apt-get install ./pellomar_*.deb): against this host's packages and package lists.
if apt-get install --simulate --no-install-recommends "$deb" >"$T/apt.log" 2>&1; then
    pass "apt-get install --simulate resolves the dependencies"
else
    cat "$T/apt.log" >&2
    fail "apt-get install --simulate"
fi

finish
