#!/usr/bin/env bash
# Runs a command inside a root that dpkg installed the package into: a private mount namespace
# with the host's shared libraries (they stand in for the declared dependencies), /proc (dovlek
# finds its keyword file through /proc/self/exe), /dev, and /tmp for X's socket. The environment
# passes through. Usage: in-root.sh ROOT COMMAND [ARG...]
exec unshare --mount --propagation private bash -c '
    set -e
    R=$1
    shift
    for d in usr/lib/x86_64-linux-gnu usr/lib64 usr/share/X11 usr/share/fonts etc/fonts; do
        [[ -d /$d ]] || continue
        mkdir -p "$R/$d"
        mount --bind -o ro "/$d" "$R/$d"
    done
    [[ -e $R/lib64 ]] || ln -s usr/lib64 "$R/lib64"
    [[ -e $R/lib ]] || ln -s usr/lib "$R/lib"
    mkdir -p "$R/proc" "$R/dev" "$R/tmp"
    mount -t proc proc "$R/proc"
    mount --rbind /dev "$R/dev"
    mount --bind /tmp "$R/tmp"
    exec chroot "$R" "$@"
' in-root "$@"
