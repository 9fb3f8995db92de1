#!/usr/bin/env bash
# The Debian package: its control data, its files, and the installed dovlek, run inside a
# throwaway root that dpkg installed the package into (the host's libraries stand in for the
# declared dependencies). dpkg keeps an edited keyword file across a reinstall, and an upgrade
# from a package with the previous default replaces the unedited file and keeps an edited one.
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

# Upgrades from a package that shipped the previous default: this package with the previous
# default as its conffile and in /usr/share/pellomar/, under a lower version. Those are all that
# dpkg looks at when it decides about the conffile: the file's checksum as the old package
# installed it, as it is now, and as the new package ships it.
old=$T/old
dpkg-deb -R "$deb" "$old"
for f in etc/pellomar/KEYWORD_ARRANGE.CSV usr/share/pellomar/KEYWORD_ARRANGE.CSV; do
    cp "$previous_default" "$old/$f"
done
sum=$(md5sum <"$previous_default" | cut -d' ' -f1)
sed -i -E "s#^[0-9a-f]{32}  ((etc|usr/share)/pellomar/KEYWORD_ARRANGE.CSV)\$#$sum  \1#" "$old/DEBIAN/md5sums"
sed -i -E 's/^Version: (.*)$/Version: \1~previous/' "$old/DEBIAN/control"
dpkg-deb --root-owner-group -b "$old" "$T/old.deb" >/dev/null || fail "repacking the previous package"
expect_eq "the previous package's conffile is the previous default" "$sum" \
    "$(dpkg-deb --fsys-tarfile "$T/old.deb" | tar -xO ./etc/pellomar/KEYWORD_ARRANGE.CSV |
        md5sum | cut -d' ' -f1)"

# name | edited? | how dpkg is run | the keyword file after it | the file dpkg leaves beside it
upgrade_cases=(
    "unedited, no terminal|no|stdin closed|new|none"
    "edited, the prompt's default answer|yes|answer empty|edited|.dpkg-dist"
    "edited, unattended (--force-confdef --force-confold)|yes|confold|edited|.dpkg-dist"
    "edited, the answer Y|yes|answer Y|new|.dpkg-old"
    "edited, no terminal to ask|yes|stdin closed|edited|.dpkg-new"
)
n=0
for row in "${upgrade_cases[@]}"; do
    IFS='|' read -r name edit how after beside <<<"$row"
    n=$((n + 1))
    U=$T/upgrade-$n
    mkdir -p "$U/var/lib/dpkg/info" "$U/var/lib/dpkg/updates" "$U/var/lib/dpkg/triggers"
    touch "$U/var/lib/dpkg/status" "$U/var/lib/dpkg/available"
    dpkg_in() { dpkg --root="$U" --force-depends --force-script-chrootless "$@"; }
    conf=$U/etc/pellomar/KEYWORD_ARRANGE.CSV
    if ! dpkg_in -i "$T/old.deb" >"$U.old.log" 2>&1; then
        cat "$U.old.log" >&2
        fail "$name: installing the previous package"
        continue
    fi
    [[ $edit == yes ]] && printf 'my,1,1\r\n' >>"$conf"
    cp "$conf" "$T/before-$n.csv"
    log=$U.log
    case $how in
        "stdin closed") dpkg_in -i "$deb" </dev/null >"$log" 2>&1 ;;
        "answer empty") printf '\n' | dpkg_in -i "$deb" >"$log" 2>&1 ;;
        "answer Y") printf 'Y\n' | dpkg_in -i "$deb" >"$log" 2>&1 ;;
        confold) dpkg_in -i --force-confdef --force-confold "$deb" </dev/null >"$log" 2>&1 ;;
    esac
    status=$?
    if [[ $beside == .dpkg-new ]]; then
        # dpkg stops at its question and leaves the package unconfigured, the user's file as it was.
        ((status != 0)) && grep -q 'end of file on stdin at conffile prompt' "$log" &&
            pass "$name: dpkg stops at its question" || fail "$name: dpkg did not stop at its question"
    else
        expect_eq "$name: dpkg exit status" 0 "$status"
        expect_eq "$name: package state" "install ok installed" \
            "$(dpkg-query --admindir="$U/var/lib/dpkg" -W -f '${Status}' pellomar)"
        cmp -s "$U/usr/share/pellomar/KEYWORD_ARRANGE.CSV" "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" &&
            pass "$name: /usr/share/pellomar holds the new default" ||
            fail "$name: /usr/share/pellomar does not hold the new default"
    fi
    case $after in
        new) cmp -s "$conf" "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" && pass "$name: the new default is in place" ||
            fail "$name: the new default is not in place" ;;
        edited) cmp -s "$conf" "$T/before-$n.csv" && pass "$name: the edited file is kept" ||
            fail "$name: the edited file was changed" ;;
    esac
    others=$(cd "$U/etc/pellomar" && ls -A | grep -v '^KEYWORD_ARRANGE.CSV$')
    case $beside in
        none) expect_eq "$name: no other file in /etc/pellomar" "" "$others" ;;
        .dpkg-dist | .dpkg-new)
            expect_eq "$name: the new default waits beside it" "KEYWORD_ARRANGE.CSV$beside" "$others"
            cmp -s "$conf$beside" "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" && pass "$name: $beside is the new default" ||
                fail "$name: $beside is not the new default" ;;
        .dpkg-old)
            expect_eq "$name: the edited file is kept beside it" "KEYWORD_ARRANGE.CSV$beside" "$others"
            cmp -s "$conf$beside" "$T/before-$n.csv" && pass "$name: $beside is the edited file" ||
                fail "$name: $beside is not the edited file" ;;
    esac
    if ((can_run)); then
        out=$(printf '%s' "$upgrade_query" |
            env -u DISPLAY -u WAYLAND_DISPLAY bash "$(dirname "$0")/in-root.sh" --host-libs "$U" \
                /usr/bin/dovlek 2>&1)
        [[ $after == new ]] && want=$upgrade_new || want=$upgrade_old
        expect_eq "$name: the layout" "$want" "$out"
    fi
done

# The declared dependencies resolve with apt (a fresh Debian 12 installs the package with
# apt-get install ./pellomar_*.deb): against this host's packages and package lists.
if apt-get install --simulate --no-install-recommends "$deb" >"$T/apt.log" 2>&1; then
    pass "apt-get install --simulate resolves the dependencies"
else
    cat "$T/apt.log" >&2
    fail "apt-get install --simulate"
fi

finish
