#!/usr/bin/env bash
# dovlek on Wayland alone against a real compositor: sway on its headless backend, one of its
# own per case, with wl-clipboard's wl-copy and wl-paste as the user's other programs. sway
# will not run as root, so as root it runs as nobody, in a runtime directory of that user's;
# the clients (dovlek, wl-copy, wl-paste) run as the caller and reach the compositor through
# the socket's absolute path, with a private runtime directory of the caller's own.
# Usage: sway_e2e.sh CASE PATH/TO/dovlek
# Exit status 77 (skipped) only for the case that needs a second user, when not run as root.
set -euo pipefail
case_name=$1
built_dovlek=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../support/e2e.sh"
export LC_ALL=C.UTF-8

sway_pid=
stop_sway() {
    [[ -n $sway_pid ]] || return 0
    kill "$sway_pid" 2>/dev/null || true
    wait "$sway_pid" 2>/dev/null || true
}
e2e_start stop_sway

the_result=$'select\n    a\nfrom\n    t'
changed_message="Pellomar: 75:Path/File access error: the clipboard changed while its text was laid out; the new content was kept and the result was not written"
files_message="Pellomar: the clipboard holds files, not text; it was left as it was"

# Another user must be able to pass through $tmp to its runtime directory and sway's config.
chmod 0711 "$tmp"
mkdir "$tmp/bin" "$tmp/work" "$tmp/wrap"
mkdir -m 0700 "$tmp/run"
cp "$built_dovlek" "$tmp/bin/dovlek"
cp "$(dirname "$built_dovlek")"/libpellomar-desktop.so "$tmp/bin/"
dovlek=$tmp/bin/dovlek
worked_example_rows

start_sway() {
    local as_user=() sway_dir=$tmp/sway socket
    mkdir -m 0700 "$sway_dir"
    if [[ $(id -u) == 0 ]]; then
        chown nobody:nogroup "$sway_dir"
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    # No Xwayland: Wayland alone is what is tested, and it need not be installed.
    printf 'xwayland disable\n' >"$tmp/sway.conf"
    chmod 0644 "$tmp/sway.conf"
    env -i PATH=/usr/bin:/bin HOME="$sway_dir" XDG_RUNTIME_DIR="$sway_dir" \
        WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
        "${as_user[@]}" sway -c "$tmp/sway.conf" >"$tmp/sway.log" 2>&1 &
    sway_pid=$!
    sway_ready() {
        local said
        socket=$(find "$sway_dir" -maxdepth 1 -type s -name 'wayland-[0-9]*' | head -1)
        [[ -n $socket ]] || return 1
        said=$(timeout 5 env WAYLAND_DISPLAY="$socket" wl-paste --list-types 2>&1) && return 0
        # An empty clipboard is no failure here: the compositor answered.
        [[ $said == "No selection" ]]
    }
    wait_until 20 sway_ready || fail "sway did not start: $(tail -5 "$tmp/sway.log")"
    export WAYLAND_DISPLAY=$socket
    SWAYSOCK=$(find "$sway_dir" -maxdepth 1 -type s -name 'sway-ipc.*.sock' | head -1)
    export SWAYSOCK
    export XDG_RUNTIME_DIR=$tmp/run
    unset DISPLAY
}

# The clipboard from outside, as the user's other programs see it.
copy() {  # copy TYPE < CONTENT
    wl-copy --type "$1" >/dev/null 2>&1
}
copy_text() {  # copy_text TEXT
    printf '%s' "$1" | copy 'text/plain;charset=utf-8'
}
types_now() { timeout 10 wl-paste --list-types 2>&1 || true; }
paste_now() {  # paste_now TYPE: the bytes, with a dot so that trailing line ends count
    timeout 10 wl-paste --no-newline --type "$1" 2>&1
    echo .
}
expect_clipboard() {  # expect_clipboard TEXT
    local got
    got=$(paste_now 'text/plain;charset=utf-8')
    [[ ${got%.} == "$1" ]] || fail "the clipboard holds $(printf '%q' "${got%.}"), expected $(printf '%q' "$1")"
}

# Runs dovlek from a directory of the user's to its end; sets status, out and err.
press() {
    set +e
    (cd "$tmp/work" && timeout 30 "$dovlek" "$@" >"$tmp/out" 2>"$tmp/err")
    status=$?
    set -e
    out=$(cat "$tmp/out")
    err=$(cat "$tmp/err")
}
expect_press() {  # expect_press STATUS STDERR
    [[ $status == "$1" ]] || fail "dovlek exited with $status, expected $1; stderr: $err"
    [[ $err == "$2" ]] || fail "unexpected standard error: $(printf '%q' "$err")"
    [[ -z $out ]] || fail "unexpected standard output: $out"
}

# Windows on the compositor, by title, as sway's tree lists them.
window_shown() {  # window_shown TITLE
    timeout 5 swaymsg --raw -t get_tree 2>/dev/null | /usr/bin/python3 -c '
import json, sys
def names(node):
    yield node.get("name")
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from names(child)
sys.exit(0 if sys.argv[1] in names(json.load(sys.stdin)) else 1)' "$1"
}
close_window() {  # close_window TITLE: as its close button would
    timeout 10 swaymsg "[title=\"^$1\$\"] kill" >/dev/null || fail "swaymsg could not close $1"
}

# A press that fails shows its box on the compositor: waits for it, closes it as a user would,
# and waits for dovlek to end; sets status, out and err.
press_through_box() {
    (cd "$tmp/work" && exec timeout 60 "$dovlek" "$@" >"$tmp/out" 2>"$tmp/err") &
    local pid=$!
    started_pids+=("$pid")
    wait_until 30 window_shown Pellomar || fail "no box titled Pellomar appeared; stderr: $(cat "$tmp/err")"
    close_window Pellomar
    timeout 20 tail --pid="$pid" -f /dev/null || fail "dovlek did not end after its box"
    set +e
    wait "$pid"
    status=$?
    set -e
    out=$(cat "$tmp/out")
    err=$(cat "$tmp/err")
}

# The wl-copy processes that serve this case's compositor.
wl_copy_pids() {
    local pid
    for pid in $(pgrep -x wl-copy || true); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WAYLAND_DISPLAY=$WAYLAND_DISPLAY" &&
            echo "$pid"
    done
    return 0
}
one_wl_copy() { [[ $(wl_copy_pids | wc -l) == 1 ]]; }

# A wl-paste first on the PATH that runs the real one and, while a file named in COPY_DURING
# exists, copies that file's content once the text has been read (not the list of types) and
# before it returns: a copy made during a press, at a known moment. With PASTE_LOG set it logs
# the dovlek that ran it.
install_wl_paste_wrapper() {
    cat >"$tmp/wrap/wl-paste" <<'SH'
#!/bin/bash
[[ -n ${PASTE_LOG:-} ]] && echo "$PPID $*" >>"$PASTE_LOG"
/usr/bin/wl-paste "$@"
status=$?
if [[ $* != *--list-types* && -n ${COPY_DURING:-} && -f $COPY_DURING ]]; then
    /usr/bin/wl-copy --type 'text/plain;charset=utf-8' <"$COPY_DURING" >/dev/null 2>&1
    until cmp -s <(/usr/bin/wl-paste --no-newline 2>/dev/null) "$COPY_DURING"; do sleep 0.02; done
    rm "$COPY_DURING"
fi
[[ -n ${PASTE_LOG:-} ]] && sleep 0.02
exit $status
SH
    chmod +x "$tmp/wrap/wl-paste"
    export PATH=$tmp/wrap:$PATH
}

start_sway

case $case_name in
press_on_text)
    # Text copied with wl-copy comes back laid out, served by a wl-copy that keeps none of the
    # caller's directories busy.
    copy_text 'select a from t'
    press
    expect_press 0 ""
    expect_clipboard "$the_result"
    for type in text/plain UTF8_STRING; do
        got=$(paste_now "$type")
        [[ ${got%.} == "$the_result" ]] || fail "$type holds $(printf '%q' "${got%.}")"
    done
    wait_until 10 one_wl_copy || fail "wl-copy processes serving: $(wl_copy_pids | tr '\n' ' ')"
    cwd=$(readlink "/proc/$(wl_copy_pids)/cwd")
    [[ $cwd == / ]] || fail "the serving wl-copy works in $cwd"
    ;;

left_alone)
    # Nothing, an image and copied files stay as they were, status 0; copied files are said.
    step "nothing"
    timeout 10 wl-copy --clear
    press
    expect_press 0 ""
    [[ $(types_now) == "No selection" ]] || fail "the empty clipboard now offers $(types_now)"
    step "an image"
    printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR' >"$tmp/image"
    copy image/png <"$tmp/image"
    press
    expect_press 0 ""
    [[ $(types_now) == image/png ]] || fail "the image's clipboard now offers $(types_now)"
    timeout 10 wl-paste --type image/png | cmp -s - "$tmp/image" || fail "the image changed"
    printf 'file:///home/u/a%%20b.sql\nfile:///home/u/c.sql\n' >"$tmp/files"
    for type in text/uri-list x-special/gnome-copied-files x-special/mate-copied-files \
        application/x-kde4-urilist; do
        step "$type"
        copy "$type" <"$tmp/files"
        before=$(types_now)
        press
        expect_press 0 "$files_message"
        [[ $(types_now) == "$before" ]] || fail "$type: the types were $before, now $(types_now)"
        timeout 10 wl-paste --no-newline --type "$type" | cmp -s - "$tmp/files" || fail "$type: the list changed"
    done
    # wl-copy offers text/uri-list as plain text too, as file managers do: the list is not laid
    # out as a text of paths.
    copy text/uri-list <"$tmp/files"
    [[ $(types_now) == *"text/plain;charset=utf-8"* ]] || fail "no plain text beside the file list"
    press
    expect_press 0 "$files_message"
    timeout 10 wl-paste --no-newline --type 'text/plain;charset=utf-8' | cmp -s - "$tmp/files" ||
        fail "the paths' text changed"
    ;;

not_utf8)
    # Bytes that are not UTF-8 fail the press; what was copied stays.
    printf 'select \xff from t' >"$tmp/latin"
    copy 'text/plain;charset=utf-8' <"$tmp/latin"
    press_through_box
    expect_press 2 "Pellomar: 75:Path/File access error: the clipboard's text is not UTF-8 at byte 8; the clipboard was left as it was"
    timeout 10 wl-paste --no-newline | cmp -s - "$tmp/latin" || fail "the clipboard changed"
    ;;

silent_source)
    # A source that never answers (stopped) fails the press after 5 seconds; once it answers
    # again it still holds its text.
    copy_text 'select a from t'
    wait_until 10 one_wl_copy || fail "no single wl-copy serves the text"
    source_pid=$(wl_copy_pids)
    kill -STOP "$source_pid"
    started=$SECONDS
    press_through_box
    kill -CONT "$source_pid"
    expect_press 2 "Pellomar: 75:Path/File access error: wl-paste did not finish within 5 seconds and was stopped; the clipboard was left as it was"
    ((SECONDS - started <= 15)) || fail "the press took $((SECONDS - started)) s"
    expect_clipboard 'select a from t'
    ;;

copy_during_press)
    # What the user copies while dovlek lays out is kept; a copy of the same text (a clipboard
    # manager taking it over) or of this very result (a quicker press) changes nothing.
    install_wl_paste_wrapper
    export COPY_DURING=$tmp/during
    during() {  # during COPIED STATUS CLIPBOARD STDERR
        step "copied during the press: $(printf '%q' "$1")"
        copy_text 'select a from t'
        printf '%s' "$1" >"$COPY_DURING"
        if [[ $2 == 0 ]]; then press; else press_through_box; fi
        [[ ! -e $COPY_DURING ]] || fail "the wrapper made no copy"
        expect_press "$2" "$4"
        expect_clipboard "$3"
    }
    during 'select b from u' 2 'select b from u' "$changed_message"
    during 'select a from t' 0 "$the_result" ""
    during "$the_result" 0 "$the_result" ""
    ;;

ten_presses)
    # Ten presses at once on 50 KB all succeed, one after the other: each one's reads of the
    # clipboard (a list of types and a text, twice) come as one block.
    install_wl_paste_wrapper
    export PASTE_LOG=$tmp/paste.log
    /usr/bin/python3 - "$tmp/big" <<'PY'
import random, sys
random.seed(21)
words = ["alpha", "beta", "42", "(y)", "z.w", "=", "AND", "\u00e9t\u00e9", "\u691c\u8a3c"]
lines = ["select " + ", ".join(random.choice(words) for _ in range(random.randint(1, 8)))
         + " from t%d where " % i + " ".join(random.choice(words) for _ in range(4))
         for i in range(800)]
open(sys.argv[1], "w", encoding="utf-8").write("\n".join(lines))
PY
    env -u WAYLAND_DISPLAY "$dovlek" <"$tmp/big" >"$tmp/layout" || fail "stdio layout failed"
    copy 'text/plain;charset=utf-8' <"$tmp/big"
    pids=()
    for i in 0 1 2 3 4 5 6 7 8 9; do
        (cd "$tmp/work" && exec timeout 60 "$dovlek" >"$tmp/out$i" 2>"$tmp/err$i") &
        pids+=($!)
    done
    for i in 0 1 2 3 4 5 6 7 8 9; do
        wait "${pids[$i]}" || fail "press $i failed: $(cat "$tmp/err$i")"
        [[ ! -s $tmp/err$i ]] || fail "press $i said: $(cat "$tmp/err$i")"
    done
    PASTE_LOG='' timeout 10 wl-paste --no-newline | cmp -s - "$tmp/layout" ||
        fail "the clipboard is not the layout"
    presses=$(awk '{print $1}' "$PASTE_LOG" | sort -u | wc -l)
    blocks=$(awk '$1 != last {n++; last = $1} END {print n}' "$PASTE_LOG")
    ((presses == 10)) || fail "$presses presses read the clipboard"
    ((blocks == 10)) || fail "the presses' reads interleave: $(awk '{print $1}' "$PASTE_LOG" | tr '\n' ' ')"
    ;;

second_user)
    # Another local user can neither hold the presses up nor take their turn: the old abstract
    # names are held and the lock file's name is tried, and a press still takes well under a
    # second of waiting.
    [[ $(id -u) == 0 ]] || { echo "SKIP: running as another user needs root" >&2; exit 77; }
    other_user_holds_turns "$XDG_RUNTIME_DIR" "$WAYLAND_DISPLAY" "wayland-display-$WAYLAND_DISPLAY"
    for i in 1 2 3; do
        copy_text 'select a from t'
        start=$(date +%s%N)
        press
        took=$((($(date +%s%N) - start) / 1000000))
        expect_press 0 ""
        expect_clipboard "$the_result"
        ((took < 2000)) || fail "press $i took $took ms"
    done
    expect_own_lock_file "$XDG_RUNTIME_DIR"
    ;;

compositor_gone)
    # After the compositor ends (killed: its socket stays behind), one line and status 2, for
    # the test window too, and nothing is left running.
    copy_text 'select a from t'
    press
    expect_press 0 ""
    kill -KILL "$sway_pid"
    wait "$sway_pid" 2>/dev/null || true
    sway_pid=
    for args in "" "DEBUG"; do
        press $args
        expect_press 2 "Pellomar: 75:Path/File access error: ${args:+the test window cannot be shown: }the Wayland display \"$WAYLAND_DISPLAY\" cannot be reached: no compositor answers at $WAYLAND_DISPLAY (Connection refused)"
    done
    gone() { [[ -z $(pgrep -f "^$tmp/bin/dovlek" || true) && -z $(wl_copy_pids) ]]; }
    wait_until 10 gone || fail "still running: $(pgrep -af "^$tmp/bin/dovlek|wl-copy" || true)"
    ;;

test_window)
    # The test window opens on the compositor itself (Qt's Wayland platform), leaves the
    # clipboard alone, and ends dovlek with status 0 when it is closed.
    copy_text 'left alone'
    title=$'\uff83\uff7d\uff84\u753b\u9762'
    (cd "$tmp/work" && exec env QT_QPA_PLATFORM=wayland "$dovlek" /DEBUG x >"$tmp/out" 2>"$tmp/err") &
    pid=$!
    started_pids+=("$pid")
    wait_until 30 window_shown "$title" || fail "no window titled $title appeared; stderr: $(cat "$tmp/err")"
    expect_clipboard 'left alone'
    close_window "$title"
    timeout 20 tail --pid="$pid" -f /dev/null || fail "dovlek did not end"
    set +e
    wait "$pid"
    status=$?
    set -e
    [[ $status == 0 ]] || fail "dovlek exited with $status: $(cat "$tmp/err")"
    ;;

*)
    fail "unknown case"
    ;;
esac
echo "ok [$case_name]"
