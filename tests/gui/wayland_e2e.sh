#!/usr/bin/env bash
# dovlek with WAYLAND_DISPLAY alone. Usage: wayland_e2e.sh CASE PATH/TO/dovlek
set -euo pipefail
case_name=$1
dovlek=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "FAIL [$case_name]: $*" >&2
    exit 1
}

case $case_name in
wayland_without_wl_clipboard)
    # No wl-paste or wl-copy on the PATH: the clipboard cannot be reached, said clearly, status 2.
    mkdir "$tmp/empty"
    set +e
    err=$(env -u DISPLAY WAYLAND_DISPLAY=wayland-test PATH="$tmp/empty" "$dovlek" 2>&1 </dev/null)
    status=$?
    set -e
    [[ $status == 2 ]] || fail "exit status $status, expected 2: $err"
    [[ $err == "Pellomar: 75:Path/File access error: the clipboard cannot be reached:"*"wl-clipboard"* ]] ||
        fail "unexpected message: $err"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "ok [$case_name]"
