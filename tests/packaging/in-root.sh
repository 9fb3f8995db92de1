#!/usr/bin/env bash
# Runs a command inside a root that a package was installed into, in a private mount namespace
# with /proc (dovlek finds its keyword file through /proc/self/exe), /dev, and X's socket
# directory bound in. The environment passes through.
# With --host-libs the host's shared libraries are bound in as well, standing in for the
# declared dependencies of a root that has only the package (dpkg --root into an empty tree).
# Usage: in-root.sh [--host-libs] ROOT COMMAND [ARG...]
libs=0
if [[ ${1:-} == --host-libs ]]; then
    libs=1
    shift
fi
exec unshare --mount --propagation private bash -c '
    set -e
    libs=$1 R=$2
    shift 2
    if ((libs)); then
        for d in usr/lib/x86_64-linux-gnu usr/lib64 usr/share/X11 usr/share/fonts etc/fonts; do
            [[ -d /$d ]] || continue
            mkdir -p "$R/$d"
            mount --bind -o ro "/$d" "$R/$d"
        done
        [[ -e $R/lib64 ]] || ln -s usr/lib64 "$R/lib64"
        [[ -e $R/lib ]] || ln -s usr/lib "$R/lib"
    fi
    mkdir -p "$R/proc" "$R/dev" "$R/tmp/.X11-unix"
    mount -t proc proc "$R/proc"
    mount --rbind /dev "$R/dev"
    [[ -d /tmp/.X11-unix ]] && mount --bind /tmp/.X11-unix "$R/tmp/.X11-unix"
    # A sanitized build reads the leak suppressions that LSAN_OPTIONS names when it exits with
    # memory still held (the X11 front end leaves its connection to the serving child), and
    # aborts if it cannot: the file must be at the same path inside the root.
    supp=$(tr : "\n" <<<"${LSAN_OPTIONS:-}" | sed -n "s/^suppressions=//p")
    if [[ -n $supp && -f $supp ]]; then
        mkdir -p "$R$(dirname "$supp")"
        touch "$R$supp"
        mount --bind -o ro "$supp" "$R$supp"
    fi
    exec chroot "$R" "$@"
' in-root "$libs" "$@"
