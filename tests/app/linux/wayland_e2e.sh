#!/usr/bin/env bash
# dovlek with WAYLAND_DISPLAY alone, without a real compositor (sway_e2e.sh runs one): where a
# case needs one that answers, a socket that accepts connections stands in for it, and scripts
# stand in for wl-paste and wl-copy. Usage: wayland_e2e.sh CASE PATH/TO/dovlek
set -euo pipefail
case_name=$1
built_dovlek=$2
source "$(dirname "$0")/../../support/e2e.sh"
e2e_start

# dovlek alone in a directory of its own, with a keyword file and without the desktop module:
# the compositor stand-in could not serve Qt, so failures go to standard error only.
mkdir "$tmp/bin" "$tmp/path" "$tmp/run"
cp "$built_dovlek" "$tmp/bin/dovlek"
dovlek=$tmp/bin/dovlek
write_rows 'select,1,1' 'from,1,1'
export XDG_RUNTIME_DIR=$tmp/run

start_compositor_stand_in() {
    /usr/bin/python3 -c '
import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
s.listen(16)
print("ready", flush=True)
time.sleep(600)' "$XDG_RUNTIME_DIR/wayland-test" >"$tmp/compositor.out" &
    started_pids+=($!)
    for _ in $(seq 100); do
        grep -q ready "$tmp/compositor.out" && return
        sleep 0.05
    done
    fail "the compositor stand-in did not start"
}
# Runs dovlek on Wayland alone with the given PATH; sets status and err.
run_wayland() {  # run_wayland PATH [ARG...]
    local path=$1
    shift
    set +e
    err=$(timeout 30 env -u DISPLAY WAYLAND_DISPLAY=wayland-test PATH="$path" "$tmp/bin/dovlek" "$@" 2>&1 </dev/null)
    status=$?
    set -e
}

case $case_name in
wayland_without_wl_clipboard)
    # No wl-paste or wl-copy on the PATH: the clipboard cannot be reached, said clearly, status 2.
    start_compositor_stand_in
    run_wayland "$tmp/path"
    [[ $status == 2 ]] || fail "exit status $status, expected 2: $err"
    [[ $err == "Pellomar: 75:Path/File access error: the clipboard cannot be reached:"*"wl-clipboard"* ]] ||
        fail "unexpected message: $err"
    ;;
wayland_without_compositor)
    # Nothing listens behind WAYLAND_DISPLAY: one clear line and status 2, in clipboard mode and
    # for the test window alike; never an abort.
    for args in "" "DEBUG"; do
        run_wayland "$PATH" $args
        [[ $status == 2 ]] || fail "dovlek $args: exit status $status, expected 2: $err"
        [[ $err == "Pellomar: 75:Path/File access error: "*"the Wayland display \"wayland-test\" cannot be reached: no compositor answers at $XDG_RUNTIME_DIR/wayland-test (No such file or directory)" ]] ||
            fail "dovlek $args: unexpected message: $err"
    done
    ;;
wl_clipboard_hangs)
    # wl-paste that never ends, then wl-copy that never reads: each is stopped after 5 seconds.
    start_compositor_stand_in
    cat >"$tmp/path/wl-paste" <<'SH'
#!/bin/sh
case "$*" in
*--list-types*) echo 'text/plain;charset=utf-8' ;;
*) [ -f "$HANG_PASTE" ] && exec sleep 60; printf 'select a from t' ;;
esac
SH
    printf '#!/bin/sh\nexec sleep 60\n' >"$tmp/path/wl-copy"
    chmod +x "$tmp/path/wl-paste" "$tmp/path/wl-copy"
    touch "$tmp/hang"
    export HANG_PASTE=$tmp/hang
    started=$SECONDS
    run_wayland "$tmp/path:/usr/bin:/bin"
    [[ $status == 2 ]] || fail "exit status $status, expected 2: $err"
    [[ $err == "Pellomar: 75:Path/File access error: wl-paste did not finish within 5 seconds and was stopped; the clipboard was left as it was" ]] ||
        fail "unexpected message: $err"
    rm "$tmp/hang"
    run_wayland "$tmp/path:/usr/bin:/bin"
    [[ $status == 2 ]] || fail "exit status $status, expected 2: $err"
    [[ $err == "Pellomar: 75:Path/File access error: wl-copy did not finish within 5 seconds and was stopped; the clipboard was left as it was" ]] ||
        fail "unexpected message: $err"
    ((SECONDS - started < 20)) || fail "the two runs took $((SECONDS - started)) s"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "ok [$case_name]"
