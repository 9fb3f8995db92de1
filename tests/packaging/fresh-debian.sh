#!/usr/bin/env bash
# The Debian package on a fresh Debian 12: a minimal system made by debootstrap, the package
# installed with apt-get install ./pellomar_*.deb (dependencies and recommendations from the
# Debian mirror), then the installed dovlek run on samples through standard input and output and
# through the X11 clipboard of a private Xvfb.
# Slow and needs the Debian mirror, so it runs only with PELLOMAR_FRESH_DEBIAN=1. The base
# system and the downloaded packages are kept in BUILD_DIR/fresh-debian/ for the next run.
# Usage: fresh-debian.sh BUILD_DIR SOURCE_DIR GUI(ON|OFF)
set -uo pipefail
BUILD_DIR=$1 SOURCE_DIR=$2 GUI=$3
. "$(dirname "$0")/common.sh"
if [[ ${PELLOMAR_FRESH_DEBIAN:-} != 1 ]]; then
    echo "SKIP: set PELLOMAR_FRESH_DEBIAN=1 to install the package on a debootstrapped Debian 12" >&2
    exit 77
fi
need cpack debootstrap unshare chroot
[[ $(id -u) == 0 ]] || { echo "SKIP: debootstrap and chroot need root" >&2; exit 77; }
unshare --mount --propagation private true 2>/dev/null ||
    { echo "SKIP: no private mount namespace here (unshare --mount needs CAP_SYS_ADMIN)" >&2; exit 77; }
mirror=${PELLOMAR_DEBIAN_MIRROR:-http://deb.debian.org/debian}

cache=$BUILD_DIR/fresh-debian
mkdir -p "$cache/archives/partial"
T=$(mktemp -d /tmp/pellomar-fresh-XXXXXX)
R=$T/root
trap 'rm -rf "$T"' EXIT

if [[ ! -f $cache/bookworm-minbase.tar ]]; then
    echo "debootstrap bookworm from $mirror (a few minutes, once)"
    if ! debootstrap --variant=minbase bookworm "$T/base" "$mirror" >"$T/debootstrap.log" 2>&1; then
        tail -20 "$T/debootstrap.log" >&2
        fail "debootstrap"
        finish
    fi
    tar -C "$T/base" -cf "$cache/bookworm-minbase.tar" . && rm -rf "$T/base"
fi
mkdir -p "$R"
tar -C "$R" -xf "$cache/bookworm-minbase.tar"
cp /etc/resolv.conf "$R/etc/resolv.conf"

if ! cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$T/pkg" >"$T/cpack.log" 2>&1; then
    cat "$T/cpack.log" >&2
    fail "cpack -G DEB"
    finish
fi
debs=("$T"/pkg/pellomar_*.deb)
cp "${debs[0]}" "$R/tmp/"
deb=/tmp/$(basename "${debs[0]}")

# apt-get exactly as a user would run it, with the downloaded packages kept between runs.
if ! unshare --mount --propagation private bash -c '
    R=$1 cache=$2 deb=$3
    mount -t proc proc "$R/proc"
    mount --rbind /dev "$R/dev"
    mount --bind "$cache/archives" "$R/var/cache/apt/archives"
    chroot "$R" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
        /bin/sh -c "apt-get update -q && apt-get install -y -q $deb"
' apt "$R" "$cache" "$deb" >"$T/apt.log" 2>&1; then
    tail -30 "$T/apt.log" >&2
    fail "apt-get install $deb on a fresh Debian 12"
    finish
fi
pass "apt-get install ./$(basename "$deb") on a fresh Debian 12"
if [[ $GUI == ON ]]; then
    for p in qt6-qpa-plugins qt6-wayland fonts-noto-cjk wl-clipboard; do
        grep -q "^Setting up $p" "$T/apt.log" && pass "apt installed $p" || fail "apt did not install $p"
    done
fi

in_root=(bash "$(dirname "$0")/in-root.sh" "$R")
check_samples "fresh Debian 12" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "${in_root[@]}" /usr/bin/dovlek
if [[ $GUI == ON ]] && command -v Xvfb >/dev/null && command -v xclip >/dev/null; then
    check_x11_clipboard "fresh Debian 12" "${in_root[@]}" /usr/bin/dovlek
fi
finish
